"""examples/dask_extract.py on a local cluster of two workers, and on a
scheduler with workers started apart, against the console program."""
import json
import os
import re
import shutil
import subprocess
import sys
import time

import pytest
import vorlith

from conftest import ENCRYPTED, SOURCE_DIR, unknown_encryption_pdf

EXAMPLE = SOURCE_DIR / "examples" / "dask_extract.py"
# Dask's own start-up and shut-down, bounded.
TIMEOUT = 300


@pytest.fixture(scope="module")
def folder(pdfs, tmp_path_factory):
    """Fixture files that extract, and three that fail, one of each kind."""
    inputs = tmp_path_factory.mktemp("dask-in")
    for name in ("sample", "columns", "unicode", "long"):
        shutil.copy(pdfs[name], inputs / f"{name}.pdf")
    shutil.copy(ENCRYPTED / "rc4-40-empty-user.pdf", inputs / "empty-user.PDF")
    shutil.copy(ENCRYPTED / "rc4-128.pdf", inputs / "locked.pdf")
    unknown_encryption_pdf(inputs / "aes.pdf")
    (inputs / "broken.pdf").write_bytes(b"%PDF-1.4\nnot a PDF\n")
    (inputs / "notes.txt").write_text("not a PDF file name")
    return inputs


GOOD = ["sample", "columns", "unicode", "long", "empty-user"]


def _run_example(*args):
    env = dict(os.environ, PYTHONUNBUFFERED="1")
    return subprocess.run([sys.executable, str(EXAMPLE), *map(str, args)], capture_output=True, text=True,
                          timeout=TIMEOUT, env=env)


def _check(console, folder, out, result, layout, header, footer):
    assert result.returncode == 1, result.stderr[-3000:]  # some files failed
    summary = result.stdout.strip().splitlines()[-1]
    match = re.fullmatch(r"files: 8, extracted: 5, pages: (\d+), failures: 3 \((.*)\), seconds: [\d.]+", summary)
    assert match, summary
    assert match.group(2) == "NotOpenedError 1, PasswordError 1, UnknownEncryptionError 1"
    for kind in ("broken.pdf: NotOpenedError", "locked.pdf: PasswordError", "aes.pdf: UnknownEncryptionError"):
        assert kind in result.stderr
    assert sorted(p.name for p in out.iterdir()) == sorted(f"{name}.txt" for name in GOOD)
    for name in GOOD:
        source = next(folder.glob(f"{name}.*"))
        expected = console.extract(source, layout, header, footer)
        assert (out / f"{name}.txt").read_bytes() == expected, name
    assert int(match.group(1)) == sum(vorlith.info(next(folder.glob(f"{name}.*")))["pages"] for name in GOOD)


def test_local_cluster_of_two_workers(console, folder, tmp_path):
    out = tmp_path / "out"
    result = _run_example(folder, out, "--workers", "2", "--layout", "reading", "--header", "&n page &p/&a")
    _check(console, folder, out, result, "reading", "&n page &p/&a", "")
    # Worker processes, the files' bytes sent to them, another layout and a footer.
    out2 = tmp_path / "out2"
    result = _run_example(folder, out2, "--workers", "2", "--processes", "--ship", "--layout", "content",
                          "--footer", "= &p =")
    _check(console, folder, out2, result, "content", "", "= &p =")


def test_usage_errors(tmp_path):
    for args in ([tmp_path / "missing", tmp_path / "out"], [tmp_path, tmp_path / "out", "--workers", "0"],
                 [tmp_path, tmp_path / "out", "--layout", "wide"]):
        result = _run_example(*args)
        assert result.returncode == 2, result


def test_scheduler_and_workers_started_apart(console, folder, tmp_path):
    """A scheduler and two workers as the README starts them on a cluster,
    here all on 127.0.0.1."""
    info = tmp_path / "scheduler.json"
    env = dict(os.environ)
    processes = [subprocess.Popen([sys.executable, "-m", "distributed.cli.dask_scheduler", "--host", "127.0.0.1",
                                   "--port", "0", "--no-dashboard",
                                   "--scheduler-file", str(info)],
                                  env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)]
    try:
        deadline = time.monotonic() + 60
        while not info.exists() and time.monotonic() < deadline:
            time.sleep(0.2)
        assert info.exists(), "the scheduler did not start"
        address = json.loads(info.read_text())["address"]
        for _ in range(2):
            processes.append(subprocess.Popen(
                [sys.executable, "-m", "distributed.cli.dask_worker", address, "--nthreads", "1",
                 "--host", "127.0.0.1", "--no-dashboard", "--local-directory", str(tmp_path)],
                env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        out = tmp_path / "out"
        result = _run_example(folder, out, "--scheduler", address, "--layout", "positioned")
        _check(console, folder, out, result, "positioned", "", "")
    finally:
        for process in reversed(processes):
            process.terminate()
        for process in reversed(processes):
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
