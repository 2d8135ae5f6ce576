import os
import subprocess

import pytest


@pytest.fixture(scope="session", autouse=True)
def data_folder(tmp_path_factory):
    """A data folder made by qvdb init with the reference rows of qvdb generate,
    named by a registry file of its own.

    The library reads the registry once per thread, so this runs before any
    test calls it."""
    root = tmp_path_factory.mktemp("qv")
    os.environ["QV_REGISTRY"] = str(root / "registry.ini")
    tool = os.environ["QVDB_TOOL"]
    subprocess.run([tool, "init", str(root / "data")], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([tool, "generate", "--streams", "1", "--documents", "1", "--cells", "1"],
                   check=True, stdout=subprocess.DEVNULL)
    return root / "data"
