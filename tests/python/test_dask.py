"""examples/dask_extract.py on a local cluster of two workers, and on a
scheduler with workers started apart, against the console program; how it
cuts a folder into tasks."""
import contextlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
import types

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


def _example_module():
    """The example's functions (no bytecode cache left in the source tree)."""
    module = types.ModuleType("dask_extract")
    module.__file__ = str(EXAMPLE)
    exec(compile(EXAMPLE.read_text(encoding="utf-8"), str(EXAMPLE), "exec"), module.__dict__)
    return module


def test_groups_of_files():
    """Large files go alone, small ones together, in the order given, and
    every file once."""
    groups = _example_module().groups
    cases = [  # (sizes largest first, workers, files per group)
        ([], 2, []),
        ([100], 2, [1]),
        ([0, 0, 0], 1, [1, 1, 1]),  # an empty file counts as one byte
        # Shares of what is left (1/8 with two workers), at least 1/64 of all.
        ([40, 30] + [1] * 30, 2, [1, 1, 4, 4, 3, 3, 2, 2, 2, 2, 2, 2, 2, 2]),
        # One worker: shares of 1/4, at least 1/32 of all (32 bytes).
        ([1] * 1024, 1, [256, 192, 144, 108, 81, 61, 46, 34, 32, 32, 32, 6]),
    ]
    for sizes, workers, expected in cases:
        files = [(f"/in/{i:04d}.pdf", size) for i, size in enumerate(sizes)]
        result = groups(files, workers)
        assert [len(group) for group in result] == expected, (sizes, workers)
        assert [path for group in result for path in group] == [path for path, _ in files]


def test_list_pdfs_largest_first(tmp_path):
    list_pdfs = _example_module().list_pdfs
    for name, size in (("b.pdf", 5), ("a.PDF", 5), ("c.pdf", 9), ("d.pdf", 0), ("e.txt", 50)):
        (tmp_path / name).write_bytes(b"x" * size)
    (tmp_path / "f.pdf").mkdir()
    assert [(os.path.basename(path), size) for path, size in list_pdfs(str(tmp_path))] == [
        ("c.pdf", 9), ("a.PDF", 5), ("b.pdf", 5), ("d.pdf", 0)]


def test_failures_inside_a_task(console, pdfs, tmp_path):
    """Tasks of several files report each file's failure, a file whose
    output cannot be written included, and write the others."""
    folder = tmp_path / "in"
    folder.mkdir()
    shutil.copy(pdfs["long"], folder / "long.pdf")
    copies = [f"sample{i:02d}" for i in range(16)]
    for name in copies:
        shutil.copy(pdfs["sample"], folder / f"{name}.pdf")
    shutil.copy(ENCRYPTED / "rc4-128.pdf", folder / "locked.pdf")
    (folder / "broken.pdf").write_bytes(b"%PDF-1.4\nnot a PDF\n")
    module = _example_module()
    tasks = module.groups(module.list_pdfs(str(folder)), 1)  # as the run below cuts them
    names = [[os.path.splitext(os.path.basename(path))[0] for path in task] for task in tasks]
    assert any({"locked", "broken"} & set(task) and len(task) > 1 for task in names), names
    # A copy in a task with other copies.
    blocked = next(name for task in names if len(set(task) & set(copies)) > 1 for name in task if name in copies)
    out = tmp_path / "out"
    (out / f"{blocked}.txt").mkdir(parents=True)  # in the way of its output
    result = _run_example(folder, out, "--workers", "1")
    assert result.returncode == 1, result.stderr[-3000:]
    summary = result.stdout.strip().splitlines()[-1]
    assert re.fullmatch(r"files: 19, extracted: 16, pages: \d+, failures: 3 \(IsADirectoryError 1, "
                        r"NotOpenedError 1, PasswordError 1\), seconds: [\d.]+", summary), summary
    for kind in (f"{blocked}.pdf: IsADirectoryError", "broken.pdf: NotOpenedError", "locked.pdf: PasswordError"):
        assert kind in result.stderr
    written = sorted(p.name for p in out.iterdir() if p.is_file())
    assert written == sorted(f"{name}.txt" for name in ["long", *copies] if name != blocked)
    assert (out / "long.txt").read_bytes() == console.extract(pdfs["long"])
    sample = console.extract(pdfs["sample"])
    for name in copies:
        if name != blocked:
            assert (out / f"{name}.txt").read_bytes() == sample, name


def test_usage_errors(tmp_path):
    for args in ([tmp_path / "missing", tmp_path / "out"], [tmp_path, tmp_path / "out", "--workers", "0"],
                 [tmp_path, tmp_path / "out", "--layout", "wide"]):
        result = _run_example(*args)
        assert result.returncode == 2, result


@contextlib.contextmanager
def _cluster_apart(tmp_path, workers, worker_env=None, worker_args=(), worker_cwd=None):
    """A scheduler and WORKERS workers started as the README starts them on a
    cluster, here all on 127.0.0.1; gives the scheduler's address and stops
    them all at the end."""
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
        for _ in range(workers):
            processes.append(subprocess.Popen(
                [sys.executable, *worker_args, "-m", "distributed.cli.dask_worker", address, "--nthreads", "1",
                 "--host", "127.0.0.1", "--no-dashboard", "--local-directory", str(tmp_path)],
                env=worker_env or env, cwd=worker_cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        yield address
    finally:
        for process in reversed(processes):
            process.terminate()
        for process in reversed(processes):
            try:
                process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def test_scheduler_and_workers_started_apart(console, folder, tmp_path):
    """A scheduler and two workers as the README starts them on a cluster,
    here all on 127.0.0.1."""
    with _cluster_apart(tmp_path, 2) as address:
        # The text comes back and is written here; with --write-on-workers
        # the workers write the (here shared) output folder themselves.
        out = tmp_path / "out"
        result = _run_example(folder, out, "--scheduler", address, "--layout", "positioned")
        _check(console, folder, out, result, "positioned", "", "")
        shared = tmp_path / "shared"
        result = _run_example(folder, shared, "--scheduler", address, "--layout", "positioned", "--write-on-workers")
        _check(console, folder, shared, result, "positioned", "", "")


def test_a_worker_without_the_module_stops_the_run_at_once(folder, tmp_path):
    """A worker that cannot import vorlith: one clear message, status 2, no
    file started, nothing written."""
    # The worker runs where the module is not: no PYTHONPATH, another folder.
    bare = {key: value for key, value in os.environ.items() if key != "PYTHONPATH"}
    if subprocess.run([sys.executable, "-s", "-c", "import vorlith"], env=bare, cwd=str(tmp_path),
                      capture_output=True).returncode == 0:
        pytest.skip("vorlith is installed system-wide here")
    with _cluster_apart(tmp_path, 1, worker_env=bare, worker_args=("-s",), worker_cwd=str(tmp_path)) as address:
        out = tmp_path / "out"
        result = _run_example(folder, out, "--scheduler", address)
        assert result.returncode == 2, result.stderr[-3000:]
        assert "cannot import vorlith" in result.stderr and "no file was started" in result.stderr
        assert result.stderr.count("no file was started") == 1, result.stderr  # one message
        assert not out.exists() or not any(out.iterdir())
