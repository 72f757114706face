PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
STAMP := $(VENV)/.installed

.PHONY: test bench demo install clean

$(PY):
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip

# Build dependencies live in the venv so that rebuilds reuse build/ incrementally.
install: $(PY)
	$(PY) -m pip install --quiet "scikit-build-core>=0.10" "numpy>=2.0"
	$(PY) -m pip install --quiet --no-build-isolation ".[test,plot]"

test: install
	$(PY) -m pytest -q

bench: install
	@for f in benchmarks/*.py; do echo "== $$f"; $(PY) $$f || exit 1; done

demo: install
	$(PY) examples/velocity_profile.py

clean:
	rm -rf build $(VENV)
