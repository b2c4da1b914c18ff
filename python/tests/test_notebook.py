"""The water notebook runs headless from the measured files (skipped when
they are not there): every cell must run without an error."""

import os

import pytest

from conftest import EXAMPLES, SOURCE

REALDATA = os.environ.get("YOSTA_REALDATA", os.path.join(SOURCE, "..", "shared", "realdata"))


@pytest.mark.skipif(not os.path.isfile(os.path.join(REALDATA, "water", "neutron", "SLS18498-H2O.mint01")),
                    reason="the measured water files (../shared/realdata) are not there")
def test_water_notebook_runs(tmp_path):
    nbformat = pytest.importorskip("nbformat")
    nbclient = pytest.importorskip("nbclient")
    notebook = nbformat.read(os.path.join(EXAMPLES, "water.ipynb"), as_version=4)
    os.environ.setdefault("YOSTA_REALDATA", REALDATA)
    client = nbclient.NotebookClient(notebook, timeout=900, kernel_name="python3",
                                     resources={"metadata": {"path": EXAMPLES}})
    client.execute()
    errors = [o for c in notebook.cells if c.cell_type == "code" for o in c.get("outputs", [])
              if o.get("output_type") == "error"]
    assert not errors
    pictures = [o for c in notebook.cells if c.cell_type == "code" for o in c.get("outputs", [])
                if "image/png" in o.get("data", {})]
    assert len(pictures) >= 4
    if os.environ.get("YOSTA_NOTEBOOK_OUT"):
        nbformat.write(notebook, os.environ["YOSTA_NOTEBOOK_OUT"])
