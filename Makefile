PYTHON ?= python3
VENV := .venv
PY := $(VENV)/bin/python
STAMP := $(VENV)/.installed

.PHONY: test test-asan test-matrix wheel bench demo docs install clean format format-check

# The package's extras that `install` brings into the venv.
EXTRAS ?= test,plot,dist

$(PY):
	$(PYTHON) -m venv $(VENV)
	$(PY) -m pip install --quiet --upgrade pip

# Build dependencies live in the venv so that rebuilds reuse build/ incrementally.
install: $(PY)
	$(PY) -m pip install --quiet $$(scripts/build-requires)
	$(PY) -m pip install --quiet --no-build-isolation -C build-dir="build/{wheel_tag}" ".[$(EXTRAS)]"

test: install format-check
	$(PY) -m pytest -q

NATIVE_SOURCES = $(shell find native -name '*.h' -o -name '*.cpp')
format-check: install
	$(VENV)/bin/clang-format --dry-run --Werror $(NATIVE_SOURCES)

format: install
	$(VENV)/bin/clang-format -i $(NATIVE_SOURCES)

# The whole suite against an ASan/UBSan build of the modules (staged in
# build/asan, the installed package is left alone), with leak detection and
# the long fuzz runs.
SANITIZER_PRELOAD = $(shell gcc -print-file-name=libasan.so) $(shell g++ -print-file-name=libstdc++.so)
test-asan: install
	scripts/stage build/asan -DPYKESTA_SANITIZE=ON
	ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=4096 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	PYTHONMALLOC=malloc LD_PRELOAD="$(SANITIZER_PRELOAD)" \
	PYTHONPATH=$(CURDIR)/build/asan PYKESTA_LONG_FUZZ=1 \
	$(PY) -m pytest -q -p no:cacheprovider

# The whole suite on every CPython 3.10+ of this machine, each in its own venv
# under build/matrix, and on the oldest numpy the dependency floor allows.
test-matrix:
	scripts/test-matrix

# Wheel (repaired by auditwheel) and sdist into dist/, each installed into a
# clean venv and smoke-tested there.
wheel:
	PYTHON=$(PYTHON) scripts/build-wheel

bench: install
	@for f in benchmarks/*.py; do echo "== $$f"; $(PY) $$f || exit 1; done

demo: install
	$(PY) examples/velocity_profile.py
	$(PY) examples/fitted_measurement.py
	$(PY) examples/three_axis_move.py

# The documentation site into docs/_build/html, with warnings as errors; the
# gallery runs every example in examples/.
docs: EXTRAS = docs
docs: install
	$(VENV)/bin/sphinx-build -b html -W --keep-going -n docs docs/_build/html

clean:
	rm -rf build dist $(VENV)
