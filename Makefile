# The relay's everyday commands. `make demo` and `make test` do all the set-up
# they need on a fresh Debian or Ubuntu machine: `make deps` first installs
# the packages they need that the machine lacks.
BUILD ?= build
BUILD_SAN ?= build-sanitize
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
# pty: the demo's device on a pseudo-terminal; tcp: on zindo-devsim --listen.
DEMO_LINE ?= pty
SOAK_EXCHANGES ?= 1000
JOBS ?= $(shell nproc)
# Tests at once. The end-to-end tests spend their time waiting for the
# relay's own timed waits (6 s collections, recovery cycles) and for DOSBox,
# not on the processors: all of them together use less than a tenth of their
# time in CPU, so four per processor keep the processors busy.
TEST_JOBS ?= $(shell echo $$(( $$(nproc) * 4 )))
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

BUILD_WIN64 ?= build-win64
BUILD_WIN32 ?= build-win32
WINE ?= $(shell command -v wine64 || echo /usr/lib/wine/wine64)
WINE32 ?= /usr/lib/wine/wine

# The version set in project(), as configured in build directory $(1).
project_version = $$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' $(1)/CMakeCache.txt)

.PHONY: other-dosboxes build test unit-test sanitize fuzz bench soak demo clean format \
	windows windows-test windows-test-run windows-bench windows-bench-run \
	deps package package-test package-test-run

# The packages in packaging/debian-packages that a target needs and this
# machine lacks, installed with apt-get (through sudo when not root).
# ZINDO_NO_DEPS=1 skips the check, for a machine set up another way.
define install_deps
	$(if $(ZINDO_NO_DEPS),,packaging/install-deps $(1))
endef

deps:
	$(call install_deps,build test)

build sanitize: deps

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# DOSBox-X and DOSBox Staging for the tests and the bench, built from the
# source tarballs in THIRD_PARTY (tests/dos/other_dosbox.sh; about 9 minutes
# each on 2 cores) and kept in OTHER_DOSBOX_CACHE while the sources stay the
# same. `make test` and `make bench` use those built already and build
# none: their tests say they are skipped when one is missing.
THIRD_PARTY ?= ../shared/third_party
OTHER_DOSBOX_CACHE ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/zindo-relay
other_dosbox = JOBS=$(JOBS) tests/dos/other_dosbox.sh $(1) $(THIRD_PARTY) \
	$(OTHER_DOSBOX_CACHE)
other_dosbox_environment = \
	export ZINDO_DOSBOX_X="$$($(call other_dosbox,--built x) 2>/dev/null)" \
	  ZINDO_DOSBOX_STAGING="$$($(call other_dosbox,--built staging) 2>/dev/null)"

# One after the other: each build takes both processors. Sources that are
# not there are skipped, saying so (exit status 3 of the script).
other-dosboxes:
	$(call install_deps,dosboxes)
	for line in x staging; do \
	  $(call other_dosbox,$$line) >/dev/null; status=$$?; \
	  [ $$status -eq 0 ] || [ $$status -eq 3 ] || exit $$status; \
	done

test: build
	$(other_dosbox_environment) && cd $(BUILD) && \
	  ctest --output-on-failure -j $(TEST_JOBS)

unit-test: build
	cd $(BUILD) && ctest --output-on-failure -j $(TEST_JOBS) -LE e2e

# Every test, with the relay and the tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
sanitize:
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DZINDO_SANITIZE=ON
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ctest --output-on-failure -j $(JOBS)

# Each fuzzer for FUZZ_SECONDS, built with Clang, libFuzzer and the
# sanitizers. The committed corpus seeds the run; what the fuzzer adds goes to
# $(BUILD_FUZZ)/corpus, and an input that fails lands in $(BUILD_FUZZ)/findings
# and fails the target.
define run_fuzzer
	mkdir -p $(BUILD_FUZZ)/corpus/$(1) $(BUILD_FUZZ)/findings/$(1)
	$(BUILD_FUZZ)/$(1)_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=$(2) \
	  -print_final_stats=1 -artifact_prefix=$(BUILD_FUZZ)/findings/$(1)/ \
	  $(BUILD_FUZZ)/corpus/$(1) tests/fuzz/corpus/$(1)
endef

fuzz:
	$(call install_deps,build fuzz)
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) $(CMAKE_FLAGS) \
	  -DZINDO_FUZZ=ON -DZINDO_BUILD_TESTS=OFF
	cmake --build $(BUILD_FUZZ) -j $(JOBS) \
	  --target request_decoder_fuzz config_line_fuzz com_port_client_fuzz
	$(call run_fuzzer,request_decoder,512)
	$(call run_fuzzer,config_line,256)
	$(call run_fuzzer,com_port_client,512)

# Figures for the relay on this machine: idle CPU, added latencies, memory.
bench: build
	$(other_dosbox_environment) && $(BUILD)/relay_bench

# SOAK_EXCHANGES exchanges (1,000 by default; each takes 0.7 to 0.95 s)
# through zindo-devsim: every request on the line once and in order, every
# reply reported whole, and the relay's memory and descriptors flat. Fails
# when a check fails or anything grew.
soak: build
	$(BUILD)/relay_soak $(SOAK_EXCHANGES)

demo: build
	DEMO_LINE=$(DEMO_LINE) tools/demo.sh $(BUILD)

# The relay for 64-bit and 32-bit Windows, cross-compiled with mingw-w64:
# $(BUILD_WIN64)/zindo-relay.exe and $(BUILD_WIN32)/zindo-relay.exe.
# The toolchain is fixed when a build directory is first configured; later
# builds re-run CMake by themselves when the CMakeLists change.
define configure_windows
	test -f $(1)/CMakeCache.txt || cmake -S . -B $(1) $(CMAKE_FLAGS) \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-$(2).cmake
endef

windows:
	$(call install_deps,build windows)
	$(call configure_windows,$(BUILD_WIN64),x86_64)
	cmake --build $(BUILD_WIN64) -j $(JOBS)
	$(call configure_windows,$(BUILD_WIN32),i686)
	cmake --build $(BUILD_WIN32) -j $(JOBS)

# DOSBox for Windows, built from Debian's sources with mingw-w64 for the
# Wine tests (tests/wine/dosbox_for_windows.sh): about 5 minutes the first
# time, then taken from DOSBOX_CACHE while the sources stay the same.
DOSBOX_CACHE ?= $(or $(XDG_CACHE_HOME),$(HOME)/.cache)/zindo-relay/dosbox-windows
dosbox_for_windows = JOBS=$(JOBS) tests/wine/dosbox_for_windows.sh $(DOSBOX_CACHE)

# The 64-bit unit tests under Wine, in a throw-away prefix. None of them
# opens a serial port. The prefix's wineserver is stopped however the tests
# end. Then one exchange end to end: each relay .exe (64-bit under wine64,
# 32-bit under wine32 in a 32-bit prefix) with COM1 mapped to zindo-devsim's
# pseudo-terminal (tests/wine/relay_under_wine.sh, which keeps Wine away
# from the machine's serial ports). Neither prefix has DOS, so each relay
# also runs the DOS companions in DOSBox for Windows: two exchanges each,
# polling by open and with FindFirst; in the 64-bit prefix, the FindFirst
# one once more with the flush turned off, where the idle helper alone must
# let it see both responses. Last, both .exe files' version information,
# manifest and icon are read back.
WINDOWS_TESTS = core/core_tests link/link_tests exchange/exchange_tests \
	dos/dos_tests platform/platform_win32_tests base/base_tests \
	platform/com_port_client_tests platform/network_port_tests \
	platform/known_ports_tests

# As root, Wine runs in a mount namespace where every /dev/ttyS* is
# /dev/null: it opens serial devices to see which ports are real, and one of
# them may be this machine's console.
WINE_GUARD = $(if $(filter 0,$(shell id -u)),unshare -m sh -c 'for t in /dev/ttyS*; do [ -e "$$t" ] || continue; mount --bind /dev/null "$$t" || exit 126; done; exec "$$@"' guard,)

# With a display (a private Xvfb that any user may use), Wine can create the
# relay's hidden session window, so that log-off and shutdown are tested.
XVFB_RUN ?= $(shell command -v xvfb-run)

windows-test: windows build
	$(if $(XVFB_RUN),$(XVFB_RUN) -a -s '-ac -nolisten tcp' ,)$(MAKE) \
	  --no-print-directory windows-test-run

windows-test-run:
	prefix=$$(mktemp -d) && status=0 && \
	for test in $(WINDOWS_TESTS); do \
	  $(WINE_GUARD) env WINEPREFIX=$$prefix WINEDEBUG=-all $(WINE) \
	    $(BUILD_WIN64)/$$test.exe || status=1; \
	done; \
	$(WINE_GUARD) env WINEPREFIX=$$prefix wineserver -k; rm -rf $$prefix; \
	dosbox=$$($(dosbox_for_windows)) || status=1; \
	export DOSBOX_EXE=$$dosbox DOS_COMPANIONS=$(BUILD)/tests/dos; \
	WINE=$(WINE) FLUSH_CONTROL=1 tests/wine/relay_under_wine.sh \
	  $(BUILD_WIN64)/zindo-relay.exe $(BUILD) || status=1; \
	WINE=$(WINE32) WINEARCH=win32 MINGW_CC=i686-w64-mingw32-gcc \
	  tests/wine/relay_under_wine.sh \
	  $(BUILD_WIN32)/zindo-relay.exe $(BUILD) || status=1; \
	for exe in $(BUILD_WIN64)/zindo-relay.exe $(BUILD_WIN32)/zindo-relay.exe; do \
	  packaging/windows/check-resources $$exe \
	    $(call project_version,$(BUILD_WIN64)) || status=1; \
	done; \
	exit $$status

# Figures for the 64-bit relay under Wine with DOSBox for Windows, on a
# private Xvfb: the cost of one flush, and the FindFirst companion's wait for
# each response, with no other files and with 10,000 (after the whole Wine
# end-to-end run of that relay).
windows-bench: windows build
	$(if $(XVFB_RUN),$(XVFB_RUN) -a -s '-ac -nolisten tcp' ,)$(MAKE) \
	  --no-print-directory windows-bench-run

windows-bench-run:
	dosbox=$$($(dosbox_for_windows)) && \
	WINE=$(WINE) DOSBOX_EXE=$$dosbox DOS_COMPANIONS=$(BUILD)/tests/dos \
	  WINE_BENCH=$(BUILD_WIN64)/flush_bench.exe \
	  tests/wine/relay_under_wine.sh $(BUILD_WIN64)/zindo-relay.exe $(BUILD)

# The Debian package and the Windows zip and installer, in
# $(BUILD_PACKAGE)/packages: a release build with Debian's hardening flags,
# packed by CPack, checked by lintian (no errors allowed); the two Windows
# relays with the Windows README, the manual and the licence in CR LF and
# DOSBox for Windows (the tests' own build, taken from DOSBOX_CACHE, with its
# licence and source), zipped and in an NSIS installer.
BUILD_PACKAGE ?= build-package
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get

package: windows
	$(call install_deps,build package)
	cmake -S . -B $(BUILD_PACKAGE) -DCMAKE_BUILD_TYPE=None \
	  -DZINDO_BUILD_TESTS=OFF \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CXXFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)"
	cmake --build $(BUILD_PACKAGE) -j $(JOBS)
	cd $(BUILD_PACKAGE) && cpack -G DEB
	lintian --fail-on error $(BUILD_PACKAGE)/packages/*.deb
	dosbox=$$($(dosbox_for_windows)) && \
	packaging/windows/make-packages $(BUILD_PACKAGE)/packages \
	  $(call project_version,$(BUILD_PACKAGE)) \
	  $(BUILD_WIN64)/zindo-relay.exe $(BUILD_WIN32)/zindo-relay.exe \
	  packaging/windows/README.txt doc/manual.md LICENSE $$dosbox

# The Windows installer installed and uninstalled under Wine: in a 64-bit
# prefix with wine64 and in a 32-bit one with wine32, each with no other
# DOSBox. In each, the installed relay runs the DOS companions (built in
# $(BUILD)) in the DOSBox the installer brought, on a private Xvfb.
package-test: package build
	$(if $(XVFB_RUN),$(XVFB_RUN) -a -s '-ac -nolisten tcp' ,)$(MAKE) \
	  --no-print-directory package-test-run

package-test-run:
	setup=$$(ls $(BUILD_PACKAGE)/packages/zindo-relay-*-setup.exe) && \
	version=$(call project_version,$(BUILD_PACKAGE)) && \
	export DOS_COMPANIONS=$(BUILD)/tests/dos && \
	WINE=$(WINE) tests/wine/installer_under_wine.sh \
	  $$setup $$version pei-x86-64 $(BUILD) && \
	WINE=$(WINE32) WINEARCH=win32 tests/wine/installer_under_wine.sh \
	  $$setup $$version pei-i386 $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ) $(BUILD_WIN64) $(BUILD_WIN32) \
	  $(BUILD_PACKAGE)
