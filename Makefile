# The two commands of the README:
#   make        installs missing toolchain packages, builds all of dist/ and the example
#   make check  builds, then runs every test and ends with CTest's summary
PRESETS := x86 x64 linux sanitize
DIST := dist

.PHONY: all bootstrap build dist examples check demo fuzz bench clean

all: dist examples

bootstrap:
	@scripts/bootstrap.sh

build: bootstrap
	@for p in $(PRESETS); do \
	  [ -f build/$$p/CMakeCache.txt ] || cmake --preset $$p >/dev/null || exit 1; \
	  cmake --build --preset $$p || exit 1; \
	done

dist: build
	@mkdir -p $(DIST)/include $(DIST)/linux
	@cp include/tesmaron.h $(DIST)/include/
	@for a in x86 x64; do \
	  mkdir -p $(DIST)/$$a && \
	  cp build/$$a/tesmaron.dll build/$$a/tesmaron.lib build/$$a/libtesmaron.dll.a \
	     library/tesmaron.def $(DIST)/$$a/ || exit 1; \
	done
	@cp build/linux/libtesmaron.so $(DIST)/linux/
	@echo "dist/: $$(cd $(DIST) && find . -type f | sort | tr '\n' ' ')"

# The example, built as a user would: against each installed package.
examples: build
	@for p in x86 x64 linux; do \
	  rm -rf build/install/$$p && \
	  cmake --install build/$$p --prefix build/install/$$p >/dev/null && \
	  toolchain=$$([ $$p = linux ] || echo -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-$$p.cmake) && \
	  cmake -S examples -B build/examples/$$p -G Ninja -DCMAKE_BUILD_TYPE=Release $$toolchain \
	    -DCMAKE_PREFIX_PATH=$(CURDIR)/build/install/$$p >/dev/null && \
	  cmake --build build/examples/$$p || exit 1; \
	done

check: all
	ctest --preset linux

# The x64 example under Wine, on a sample board served by the test driver.
WINE_E2E := tests/wine/wine_e2e.sh
WINE_PREFIX := $(CURDIR)/build/linux/wineprefix
demo: all
	@$(WINE_E2E) setup $(WINE_PREFIX) $(DIST)/x64/tesmaron.dll build/x64/tests/wine/e2e.exe \
	  build/x64/tests/wine/zolhlth.sys >/dev/null && \
	$(WINE_E2E) start $(WINE_PREFIX) >/dev/null && \
	$(WINE_E2E) demo $(WINE_PREFIX) build/examples/x64/tesmaron-ports.exe; \
	status=$$?; \
	$(WINE_E2E) stop $(WINE_PREFIX) >/dev/null; $(WINE_E2E) teardown $(WINE_PREFIX) >/dev/null; \
	exit $$status

# Fuzzes the attach sequence for FUZZ_SECONDS (default 60). New inputs go to
# build/fuzz-corpus; a failing input lands in tests/fuzz/regressions/, to be
# kept there as a regression case once fixed.
FUZZ_SECONDS ?= 60
fuzz: build
	@mkdir -p build/fuzz-corpus
	build/sanitize/tests/fuzz/fuzz_attach -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=tests/fuzz/regressions/ build/fuzz-corpus tests/fuzz/corpus tests/fuzz/regressions

# Lookup timings beside a find_if baseline, then instructions per call.
bench: build
	build/linux/tests/bench/lookup_bench --benchmark_min_time=0.2 --benchmark_repetitions=5 \
	  --benchmark_report_aggregates_only=true
	tests/bench/icount.sh build/linux/tests/bench/lookup_icount

clean:
	rm -rf build $(DIST)
