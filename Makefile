# The two commands of the README:
#   make        installs missing toolchain packages, then builds all of dist/
#   make check  builds, then runs every test and ends with CTest's summary
PRESETS := x86 x64 linux
DIST := dist

.PHONY: all bootstrap build dist check clean

all: dist

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

check: dist
	ctest --preset linux

clean:
	rm -rf build $(DIST)
