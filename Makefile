# The commands of README.md, runnable on a fresh machine:
#   make quickstart   build the module and run examples/quickstart.py
#   make test         build the module (warnings as errors) and run the test suite
#   make typecheck    check the stubs and the typed example with stubtest, mypy and pyright
#   make docs         build the user guide as an HTML site in build/site
# Both find a CPython >= 3.13 (tools/find-python) and keep a virtual
# environment in .venv with the build tools and test dependencies.

VENV ?= .venv
PY := $(VENV)/bin/python
PIP_INSTALL := $(PY) -m pip install --quiet --disable-pip-version-check

.PHONY: quickstart test build build-test typecheck docs clean

$(VENV)/.ready: pyproject.toml Makefile
	rm -rf $(VENV)
	"$$(tools/find-python)" -m venv $(VENV)
	$(PIP_INSTALL) "scikit-build-core>=0.10" "cmake>=3.21" ninja "pytest>=8" "hypothesis>=6" "networkx>=3"
	touch $@

build: $(VENV)/.ready
	$(PIP_INSTALL) --no-build-isolation --no-deps --force-reinstall -Cbuild-dir=build/release .

build-test: $(VENV)/.ready
	$(PIP_INSTALL) --no-build-isolation --no-deps --force-reinstall -Cbuild-dir=build/test \
		-Ccmake.define.VORALIX_WERROR=ON .

quickstart: build
	$(PY) examples/quickstart.py

test: build-test
	$(PY) -m pytest $(PYTEST_ARGS)

# typecheck and docs use the test build, which make test (and CI) has made already.
typecheck: build-test
	$(PIP_INSTALL) "mypy>=1.15" "basedpyright>=1.28"
	$(PY) tools/typing/check.py

docs: build-test
	$(PIP_INSTALL) "mkdocs>=1.6"
	$(PY) tools/gen_api_docs.py docs/api.md
	$(PY) -m mkdocs build --quiet

clean:
	rm -rf build $(VENV)
