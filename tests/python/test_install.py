"""cmake --install puts the module where Debian's Python finds it."""
import os
import site
import subprocess
import sys

from conftest import SOURCE_DIR


def test_installed_module_imports_and_extracts(build_dir, tmp_path):
    prefix = tmp_path / "prefix"
    subprocess.run(["cmake", "--install", str(build_dir), "--component", "python", "--prefix", str(prefix)],
                   check=True, capture_output=True, timeout=120)
    installed = list(prefix.rglob("vorlith*.so"))
    assert len(installed) == 1, installed
    folder = installed[0].parent
    relative = folder.relative_to(prefix)
    # The type stubs beside it, and as the stub-only package type checkers find.
    stub = (SOURCE_DIR / "python" / "vorlith.pyi").read_bytes()
    assert (folder / "vorlith.pyi").read_bytes() == stub
    assert (folder / "vorlith-stubs" / "__init__.pyi").read_bytes() == stub
    # With the default prefix /usr/local this is a folder on Debian's sys.path.
    assert os.path.join("/usr/local", relative) in site.getsitepackages()
    env = dict(os.environ, PYTHONPATH=str(folder))
    code = ("import sys, vorlith; assert vorlith.__file__.startswith(sys.argv[2]), vorlith.__file__; "
            "print(vorlith.extract(sys.argv[1], pages=[1])[0].splitlines()[0])")
    result = subprocess.run([sys.executable, "-c", code, str(SOURCE_DIR / "examples" / "sample.pdf"), str(folder)],
                            capture_output=True, text=True, env=env, timeout=60, cwd=tmp_path)
    assert result.returncode == 0, result.stderr
    assert result.stdout == "A sample document\n"
