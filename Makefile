# The README's commands. Each does its own set-up on a fresh Debian 12 machine.
BUILD      ?= build
BUILD_TSAN ?= build-tsan
BUILD_ASAN ?= build-asan
BUILD_WIN  ?= build-win
BUILD_FUZZ ?= build-fuzz
BUILD_ARM64 ?= build-arm64
BUILD_ARMHF ?= build-armhf
FUZZ_SECONDS ?= 60
WERROR     ?= OFF
JOBS       ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DVELTRA_WERROR=$(WERROR)

.PHONY: deps deps-windows deps-arm configure build test test-tsan test-asan test-drivers fuzz \
        windows windows-zip test-windows arm64 armhf test-arm run demo bench package \
        package-check package-arm package-arm-check clean format check-format flaky-report \
        bench-windows soak

deps:
	@bash scripts/deps

deps-windows:
	@bash scripts/deps windows

deps-arm:
	@bash scripts/deps arm

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# All suites on the normal build, then the threaded suites under ThreadSanitizer. The program
# flow cases are left out there: the file chooser starts Qt's own file-system threads, whose
# locking the sanitizer cannot see in the uninstrumented Qt libraries.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300 -LE 'wine|drivers'
	$(MAKE) --no-print-directory test-tsan

test-tsan: deps
	cmake -S . -B $(BUILD_TSAN) $(CMAKE_FLAGS) -DVELTRA_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD_TSAN) -j $(JOBS) --target veltra_threaded_tests
	cd $(BUILD_TSAN) && TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tests/tsan.supp" \
	  ctest --output-on-failure -j $(JOBS) --timeout 300 -L 'serial|app' -E '^ProgramFlow\.'

test-asan: deps
	cmake -S . -B $(BUILD_ASAN) $(CMAKE_FLAGS) -DVELTRA_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(BUILD_ASAN) -j $(JOBS) --target veltra_unit_suites
	cd $(BUILD_ASAN) && ASAN_OPTIONS="detect_leaks=0" ctest --output-on-failure -j $(JOBS) --timeout 600 -L 'app|serial|ui|runtime|send'

# veltra-send on real kernel drivers (ftdi_sio, 8250) in a QEMU guest: Debian's kernel is
# fetched once into $(BUILD)/drivers, the guest's initramfs is made from this build, and each
# case boots its own guest. No case is skipped: a guest that cannot be made fails the label.
# A case that fails is run once more (a guest that boots under emulation on a busy machine
# can miss a step); `make flaky-report` names every case that needed it.
test-drivers: configure
	@bash scripts/deps drivers
	cmake --build $(BUILD) -j $(JOBS) --target veltra_drivers_tests
	cd $(BUILD) && ctest --output-on-failure --no-tests=error --timeout 300 -L drivers \
	  --repeat until-pass:2 --output-log ctest-drivers.log

# veltra.exe for Windows, cross-built with mingw-w64: $(BUILD_WIN)/app/veltra.exe.
windows: deps-windows
	cmake -S . -B $(BUILD_WIN) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD_WIN) -j $(JOBS)

# The Windows download: $(BUILD_WIN)/veltra-VERSION-win64.zip (veltra.exe and its texts).
windows-zip: windows
	cmake --build $(BUILD_WIN) -j $(JOBS) --target veltra_zip

# The Windows suites under Wine (private prefix, X server and wine server in $(BUILD_WIN)),
# then veltra.exe end to end against the device emulator of the Linux build ($(BUILD)), the
# whole-disk case also with veltra.exe unpacked from the download.
# A case that fails is run once more: under Wine on a private X server a window case can lose
# the keyboard focus to the window manager for a moment, which real Windows never does. Every
# case that needed the second run is named by `make flaky-report`.
test-windows: windows-zip configure
	cd $(BUILD_WIN) && ctest --output-on-failure -j $(JOBS) --timeout 300 --repeat until-pass:2 \
	  --output-log ctest-windows.log
	cmake --build $(BUILD) -j $(JOBS) --target veltra-device veltra_wine_e2e_tests
	cd $(BUILD) && VELTRA_WINE_BUILD=$(abspath $(BUILD_WIN)) \
	  VELTRA_WINE_ZIP=$$(ls -t $(abspath $(BUILD_WIN))/veltra-*-win64.zip | head -n 1) \
	  ctest --output-on-failure -L wine --repeat until-pass:2 --output-log ctest-wine.log

# The cases of the last Windows and real-driver runs that passed only when run again, and the
# ARM builds that left the window program out (their multiarch Qt could not be installed).
flaky-report:
	@bash scripts/flaky-report $(BUILD_WIN)/ctest-windows.log $(BUILD)/ctest-wine.log \
	  $(BUILD)/ctest-drivers.log $(BUILD_ARM64)/ctest-arm.log $(BUILD_ARMHF)/ctest-arm.log
	@bash scripts/arm-window report arm64 $(BUILD_ARM64) armhf $(BUILD_ARMHF)

# The programs for ARM boards (Debian arm64 and armhf), cross-built with Debian's cross
# compilers, with the suites that run under qemu-user: $(BUILD_ARM64)/send/veltra-send,
# $(BUILD_ARM64)/tools/veltra-device and the window program $(BUILD_ARM64)/app/veltra, built
# against Debian's multiarch Qt for the target (see docs/testing.md) when it could be installed.
arm64: deps-arm
	cmake -S . -B $(BUILD_ARM64) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64-linux-gnu.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DVELTRA_QT=$$(bash scripts/arm-window arm64)
	cmake --build $(BUILD_ARM64) -j $(JOBS)

armhf: deps-arm
	cmake -S . -B $(BUILD_ARMHF) $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake \
	  -DCMAKE_BUILD_TYPE=Release -DVELTRA_QT=$$(bash scripts/arm-window armhf)
	cmake --build $(BUILD_ARMHF) -j $(JOBS)

# The serial, send and app suites of both ARM builds under qemu-user (the cases qemu-user
# cannot run are listed as disabled there, see docs/testing.md), then one whole disk from each
# ARM veltra-send to the device emulator of the machine's own build. A case that fails is run once
# more: under emulation on a busy machine the emulator can look at a 0x00 late and miss the
# pause it checks; `make flaky-report` names every case that needed it.
test-arm: arm64 armhf configure
	cmake --build $(BUILD) -j $(JOBS) --target veltra-device
	cd $(BUILD_ARM64) && ctest --output-on-failure -j $(JOBS) --timeout 300 -L 'serial|send|app' \
	  --repeat until-pass:2 --output-log ctest-arm.log
	cd $(BUILD_ARMHF) && ctest --output-on-failure -j $(JOBS) --timeout 300 -L 'serial|send|app' \
	  --repeat until-pass:2 --output-log ctest-arm.log
	bash scripts/send-transfer $(BUILD_ARM64)/send/veltra-send $(BUILD)/tools/veltra-device \
	  aarch64 aarch64-linux-gnu
	bash scripts/send-transfer $(BUILD_ARMHF)/send/veltra-send $(BUILD)/tools/veltra-device \
	  arm arm-linux-gnueabihf

# The libFuzzer targets (fuzz/), built with clang in a folder of their own from the libraries
# they exercise (no Qt, no suites), each run for FUZZ_SECONDS over its seed corpus; a crash
# fails the command.
fuzz:
	@bash scripts/deps fuzz
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -G Ninja -DVELTRA_WERROR=$(WERROR) \
	  -DVELTRA_FUZZ=ON -DVELTRA_QT=OFF -DVELTRA_TESTS=OFF -DVELTRA_BENCH=OFF \
	  -DVELTRA_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD_FUZZ) -j $(JOBS) --target veltra_fuzzers
	bash fuzz/run $(BUILD_FUZZ)/fuzz $(FUZZ_SECONDS)

# Builds the program alone (no suites, no benchmarks) and starts it in the current folder.
run: configure
	cmake --build $(BUILD) -j $(JOBS) --target veltra
	$(BUILD)/app/veltra

# The Debian packages, $(BUILD)/veltra-send_VERSION_ARCH.deb and $(BUILD)/veltra_VERSION_ARCH.deb,
# from the programs of the same build that the suites test (stripped on the way in).
package: configure
	@bash scripts/deps package
	cmake --build $(BUILD) -j $(JOBS) --target veltra_programs
	rm -f $(BUILD)/veltra_*.deb $(BUILD)/veltra-send_*.deb
	cd $(BUILD) && cpack -G DEB

# Checks what a user installs: contents, dependencies, lint, menu entry, manual pages, and
# whole transfers with the unpacked programs.
package-check: package
	cmake --build $(BUILD) -j $(JOBS) --target veltra_e2e_tests
	bash scripts/check-package $(BUILD)

# In each ARM build folder the two packages, as for the machine's own build:
# veltra-send_VERSION_arm64.deb and veltra_VERSION_arm64.deb, the same for armhf. Their check:
# contents, dependencies, lint, manual pages and menu entry, and whole disks sent by the
# unpacked veltra-send and veltra under qemu-user to the device emulator of $(BUILD) (veltra
# driven by the end-to-end suite of $(BUILD)).
package-arm: arm64 armhf
	@bash scripts/deps package
	rm -f $(BUILD_ARM64)/veltra-send_*.deb $(BUILD_ARM64)/veltra_*.deb \
	  $(BUILD_ARMHF)/veltra-send_*.deb $(BUILD_ARMHF)/veltra_*.deb
	cd $(BUILD_ARM64) && cpack -G DEB
	cd $(BUILD_ARMHF) && cpack -G DEB

package-arm-check: package-arm configure
	cmake --build $(BUILD) -j $(JOBS) --target veltra-device veltra_e2e_tests
	bash scripts/check-package $(BUILD_ARM64) $(BUILD)
	bash scripts/check-package $(BUILD_ARMHF) $(BUILD)

# A full transfer to the device emulator on a pseudo-terminal; no retro machine needed.
demo: configure
	cmake --build $(BUILD) -j $(JOBS) --target veltra veltra-device
	bash scripts/demo $(BUILD)

# The figures of the Linux programs.
bench: build
	bash bench/run $(BUILD) $(if $(LINE_RATE),--line-rate)

# Transfers against a device that misbehaves at random, each verdict checked against what the
# device got, then one long serve with descriptors, threads and memory watched. CI runs a short
# one (SOAK_TRANSFERS=100 SOAK_LONG=2000).
SOAK_TRANSFERS ?= 200
SOAK_LONG      ?= 10000
soak: configure
	cmake --build $(BUILD) -j $(JOBS) --target soak veltra veltra-send
	$(BUILD)/bench/soak $(SOAK_TRANSFERS) $(SOAK_LONG)

# The same figures, with those of veltra.exe under Wine beside them.
bench-windows: build windows
	VELTRA_WINE_BUILD=$(abspath $(BUILD_WIN)) bash bench/run $(BUILD) $(if $(LINE_RATE),--line-rate)

format:
	git ls-files '*.cpp' '*.h' '*.c' | xargs clang-format -i

# Fails when a C or C++ file is not formatted as .clang-format says, or when the README, a page
# under docs/ or a comment names a file that is not there or links where nothing is.
check-format:
	@bash scripts/deps format
	@bash scripts/check-format
	@bash scripts/check-map

clean:
	rm -rf $(BUILD) $(BUILD_TSAN) $(BUILD_ASAN) $(BUILD_FUZZ) $(BUILD_WIN) $(BUILD_ARM64) $(BUILD_ARMHF) demo
