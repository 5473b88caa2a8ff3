"""The bundled example copied into a scratch folder and assembled there, for
the tests that hand its outputs to real consumers."""
import shutil
import subprocess
from pathlib import Path


def assemble_example(qvek, examples: Path, work: Path):
    """Copies the example's sources into work and writes work/main.ucd."""
    for f in examples.iterdir():
        if f.suffix in (".qvs", ".INC"):
            shutil.copy(f, work)
    subprocess.run([qvek, "-s", "main.qvs", "main.ucd"], cwd=work, check=True)
