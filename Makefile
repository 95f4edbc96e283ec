# SPDX-License-Identifier: MIT
# The two commands of the README:
#   make        installs missing toolchain packages, builds dist/: libraries, the source
#               tarball and the release packages
#   make check  also installs what the tests need, builds the trees only they use (the
#               Arm cross builds, the sanitizer build), then runs every test and ends
#               with CTest's summary
# What users install comes from the first three; the tests also need the
# Arm cross builds and the sanitizer build, which make check adds.
PRESETS := x86 x64 linux
CHECK_PRESETS := linux-arm64 linux-armhf sanitize
DIST := dist
# The release, from the newest entry of the changelog, its one place.
VERSION := $(shell sed -n '1s/^tesmaron (\([0-9.]*\)).*/\1/p' CHANGELOG)
TARBALL := $(DIST)/tesmaron-$(VERSION).tar.gz

.PHONY: all bootstrap bootstrap-check build build-check libraries dist package sign check release-check demo fuzz \
	bench format clean

all: libraries package

bootstrap:
	@scripts/bootstrap.sh

bootstrap-check:
	@scripts/bootstrap.sh check

# A build tree is configured when it has none yet (or its configuring failed).
# Pattern rules, so not .PHONY (make skips pattern rules for phony targets).
$(addprefix configure-,$(PRESETS)): configure-%: bootstrap
	@[ -f build/$*/build.ninja ] || cmake --preset $* >/dev/null
$(addprefix configure-,$(CHECK_PRESETS)): configure-%: bootstrap-check
	@[ -f build/$*/build.ninja ] || cmake --preset $* >/dev/null

build: $(addprefix configure-,$(PRESETS))
	@for p in $(PRESETS); do cmake --build --preset $$p || exit 1; done

build-check: $(addprefix configure-,$(CHECK_PRESETS))
	@for p in $(CHECK_PRESETS); do cmake --build --preset $$p || exit 1; done

# The libraries as built, into dist/: the Windows DLLs with their import
# libraries and export list, the Linux shared object stripped.
libraries: build
	@mkdir -p $(DIST)/include $(DIST)/linux
	@cp include/tesmaron.h $(DIST)/include/
	@for a in x86 x64; do \
	  mkdir -p $(DIST)/$$a && \
	  cp build/$$a/tesmaron.dll build/$$a/tesmaron.lib build/$$a/libtesmaron.dll.a \
	     library/tesmaron.def $(DIST)/$$a/ || exit 1; \
	done
	@rm -f $(DIST)/linux/libtesmaron.so*
	@cp -P build/linux/libtesmaron.so build/linux/libtesmaron.so.1 $(DIST)/linux/
	@objcopy --strip-unneeded build/linux/libtesmaron.so.$(VERSION) $(DIST)/linux/libtesmaron.so.$(VERSION)
	@echo "dist/: $$(cd $(DIST) && find include linux x86 x64 -not -type d | sort | tr '\n' ' ')"

# The release source, dist/tesmaron-VERSION.tar.gz; replaced only when its
# bytes change.
dist: bootstrap
	@scripts/dist.sh $(TARBALL)

# The release packages: the Windows zips from CPack in their build trees,
# and the Windows Installer packages from wixl (unsigned: make sign signs);
# the Linux packages as distributions build them, from the tarball
# (dpkg-buildpackage, rpmbuild -ta), again only when it has changed.
package: build dist
	@rm -f $(DIST)/*.zip $(DIST)/*.msi
	@for p in x86 x64; do \
	  rm -rf build/$$p/packages; \
	  (cd build/$$p && cpack >cpack.log 2>&1) || { cat build/$$p/cpack.log; exit 1; }; \
	  cp build/$$p/packages/*.zip $(DIST)/ || exit 1; \
	  SIGN_PKCS12= scripts/windows_packages.sh $$p build/$$p $(DIST)/tesmaron-$(VERSION)-$$p.msi >/dev/null || exit 1; \
	done
	@$(MAKE) --no-print-directory $(DIST)/.deb-made $(DIST)/.rpm-made
	@echo "packages: $$(cd $(DIST) && ls *.zip *.msi *.deb *.dsc *.rpm | tr '\n' ' ')"

# The Windows binaries and packages signed with Authenticode, into
# dist/signed/: the DLL and the tool; the MSI packages as make built them,
# signed as they are; the zips with the signed DLL and tool. The
# certificate from SIGN_PKCS12, its password from SIGN_PASS (handed to the
# signing tool on standard input), a time stamp from SIGN_TIMESTAMP_URL when
# it is given. Files reach dist/signed/ only signed.
sign: package
	@scripts/sign_release.sh $(DIST)

$(DIST)/.deb-made $(DIST)/.rpm-made: $(DIST)/.%-made: $(TARBALL)
	@scripts/linux_packages.sh $* $(TARBALL) $(DIST)
	@touch $@

# The tests side by side, as many at once as the machine has cores.
check: all build-check
	ctest --preset linux -j$$(nproc)
	@grep -hE '^real (boards|servers)' build/linux/Testing/Temporary/LastTest.log | sort -u

# Before each release: the package builds repeated for reproducibility, the
# Debian packaging where systemd and udev live in /usr/lib, and autopkgtest
# (tests/release_checks.sh); too long for make check.
release-check: all bootstrap-check
	@tests/release_checks.sh . $(DIST)

# tesmaron-ports on three real boards, each in a private mount namespace
# (4 ports out of PCI order, a disabled port, none), then under Wine on a
# sample board served by the test driver. Builds only what it runs.
WINE_E2E := tests/wine/wine_e2e.sh
WINE_PREFIX := $(CURDIR)/build/linux/wineprefix
demo: bootstrap-check configure-linux configure-x64
	@cmake --build --preset linux --target tesmaron-ports firmware-fixture >/dev/null
	@cmake --build --preset x64 --target tesmaron tesmaron-ports e2e test_health_driver >/dev/null
	@tests/real_boards/linux_firmware.sh demo tests/real_boards/real-boards.txt build/linux/tests/firmware-fixture \
	  build/linux/tools/tesmaron-ports board-084 board-038 board-001
	@echo "# under Wine, the x64 build on a sample board"
	@$(WINE_E2E) setup $(WINE_PREFIX) build/x64/tesmaron.dll build/x64/tests/wine/e2e.exe \
	  build/x64/tests/wine/zolhlth.sys tests/real_boards/real-boards.txt >/dev/null && \
	$(WINE_E2E) start $(WINE_PREFIX) >/dev/null && \
	$(WINE_E2E) demo $(WINE_PREFIX) build/x64/tools/tesmaron-ports.exe; \
	status=$$?; \
	$(WINE_E2E) stop $(WINE_PREFIX) >/dev/null; $(WINE_E2E) teardown $(WINE_PREFIX) >/dev/null; \
	exit $$status

# Fuzzes the attach sequence, then the SMBIOS table format, then
# tesmaron-ports from a dump to its forms, then the LLDP frame decoder, for
# FUZZ_SECONDS each (default 60), starting from the corpora, the real
# boards and the real servers. New inputs go to build/fuzz-*; a failing
# input lands in tests/fuzz/regressions/, to be kept there as a regression
# case once fixed.
FUZZ_SECONDS ?= 60
fuzz: build build-check
	@mkdir -p build/fuzz-corpus
	@tests/real_boards/linux_firmware.sh corpus tests/real_boards/real-boards.txt build/fuzz-boards
	build/sanitize/tests/fuzz/fuzz_attach -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=tests/fuzz/regressions/ build/fuzz-corpus tests/fuzz/corpus tests/fuzz/regressions \
	  build/fuzz-boards
	@for layout in dump3 dump2 bare; do \
	  build/linux/tests/firmware-fixture tests/real_boards/real-boards.txt $$layout build/fuzz-tables || exit 1; \
	done
	@build/linux/tests/firmware-fixture tests/real_boards/onboard-devices.txt machine-dump3 build/fuzz-tables
	build/sanitize/tests/fuzz/fuzz_smbios -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=tests/fuzz/regressions/smbios- build/fuzz-tables tests/fuzz/regressions
	build/sanitize/tests/fuzz/fuzz_forms -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=tests/fuzz/regressions/forms- build/fuzz-tables tests/fuzz/regressions
	@mkdir -p build/fuzz-lldp
	build/sanitize/tests/fuzz/fuzz_lldp -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	  -artifact_prefix=tests/fuzz/regressions/lldp- build/fuzz-lldp tests/fuzz/lldp-corpus tests/fuzz/regressions

# Lookup timings beside a find_if baseline, then instructions per call; then
# udev's program beside dmidecode, whole processes, as the packages install
# it; then tesmaron-ports' listing at 4 interfaces and at 2,048.
bench: all bootstrap-check
	build/linux/tests/bench/lookup_bench --benchmark_min_time=0.2 --benchmark_repetitions=5 \
	  --benchmark_report_aggregates_only=true
	tests/bench/icount.sh build/linux/tests/bench/lookup_icount
	tests/udev/udev_test.sh timing $(DIST) tests/real_boards/real-boards.txt build/linux/tests/firmware-fixture
	tests/real_boards/linux_firmware.sh interfaces tests/real_boards/real-boards.txt build/linux/tests/firmware-fixture \
	  build/linux/tools/tesmaron-ports

format:
	@scripts/format.sh

clean:
	rm -rf build $(DIST)
