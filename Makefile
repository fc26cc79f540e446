# The commands of README.md, runnable on a fresh machine:
#   make quickstart   build the module and run examples/quickstart.py
#   make test         build the module (warnings as errors) and run the test suite
#   make typecheck    check the stubs and the typed example with stubtest, mypy and pyright
#   make docs         build the user guide as an HTML site in build/site
#   make test-asan    the test suite on an AddressSanitizer + UBSan build
#   make fuzz         the fuzz targets of tests/fuzz on that build
#                     (FUZZ_SECONDS per target, 60 unless given)
# All find a CPython >= 3.13 (tools/find-python) and keep a virtual
# environment in .venv with the build tools and test dependencies.

VENV ?= .venv
PY := $(VENV)/bin/python
PIP_INSTALL := $(PY) -m pip install --quiet --disable-pip-version-check

.PHONY: quickstart test build build-test typecheck docs clean build-asan test-asan fuzz

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

# --- The sanitizer variant --------------------------------------------------
# Built by CMake straight into its own directory and put ahead of the installed
# module on PYTHONPATH. clang, because its fuzzer-no-link instrumentation gives
# the fuzzers coverage of the C++ code (tools/need-clang installs it).
SAN_CXX ?= clang++
SAN_DIR := build/asan
SAN_REPORTS := $(CURDIR)/$(SAN_DIR)/reports
# The interpreter is not instrumented, so the runtime must be loaded first.
# detect_leaks=0: at exit CPython still holds objects it never frees by design
# (interned and immortal objects, module state), which LeakSanitizer would all
# report; leaks are measured by the memory-flat tests of `make test` instead.
# PYTHONMALLOC=malloc gives every Python object its own checked heap block.
# Reports go to files, so that one from a subprocess whose failure a test
# expects still fails the run; VORALIX_SANITIZER tells the tests (conftest).
SAN_ENV = ASAN_OPTIONS=detect_leaks=0:halt_on_error=1:log_path=$(SAN_REPORTS)/asan \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:log_path=$(SAN_REPORTS)/ubsan \
	PYTHONMALLOC=malloc PYTHONPATH=$(CURDIR)/$(SAN_DIR) VORALIX_SANITIZER=address,undefined
SAN_CHECK_REPORTS = if ls $(SAN_REPORTS)/* >/dev/null 2>&1; then \
	cat $(SAN_REPORTS)/*; echo "sanitizer reports above" >&2; exit 1; fi

$(VENV)/.fuzz-ready: $(VENV)/.ready
	$(PIP_INSTALL) "atheris>=3.1,<4"
	touch $@

build-asan: $(VENV)/.ready
	tools/need-clang
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake -S . -B $(SAN_DIR) -G Ninja \
		-DCMAKE_CXX_COMPILER=$(SAN_CXX) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DPython_EXECUTABLE=$(CURDIR)/$(PY) -DVORALIX_SANITIZE=ON -DVORALIX_WERROR=ON >/dev/null
	PATH="$(CURDIR)/$(VENV)/bin:$$PATH" cmake --build $(SAN_DIR)

test-asan: build-asan
	rm -rf $(SAN_REPORTS) && mkdir -p $(SAN_REPORTS)
	# The C++ driver links its own runtime; here leaks are checked too.
	$(SAN_ENV) ASAN_OPTIONS=halt_on_error=1:log_path=$(SAN_REPORTS)/asan \
		$(SAN_DIR)/schema_matcher_fuzz 50000 "$$(date +%s)"
	$(SAN_ENV) LD_PRELOAD="$$($(SAN_CXX) -print-file-name=libclang_rt.asan-x86_64.so)" \
		$(PY) -m pytest -p no:cacheprovider $(PYTEST_ARGS) || { $(SAN_CHECK_REPORTS); exit 1; }
	@$(SAN_CHECK_REPORTS)

FUZZ_SECONDS ?= 60
fuzz: build-asan $(VENV)/.fuzz-ready
	rm -rf $(SAN_REPORTS) && mkdir -p $(SAN_REPORTS)
	$(SAN_ENV) $(PY) tests/fuzz/run.py --seconds $(FUZZ_SECONDS) --work build/fuzz $(FUZZ_TARGETS) \
		|| { $(SAN_CHECK_REPORTS); exit 1; }
	@$(SAN_CHECK_REPORTS)

clean:
	rm -rf build $(VENV)
