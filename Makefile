# Thin wrapper over CMake presets. `make test` and `make demo` work on a bare Debian 12 machine.
PRESET ?= dev
SOURCES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)

.PHONY: all bootstrap configure build test test-vm test-windows package-windows package-windows-test \
        demo bench fuzz format format-check clean

all: build

bootstrap:
	@tools/bootstrap.sh

configure: bootstrap
	cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

test: build
	ctest --preset $(PRESET)

# The uinput sink through a real kernel in a qemu guest (software emulation, a minute or two).
test-vm:
	@tools/bootstrap.sh vm
	$(MAKE) build PRESET=dev
	ctest --preset vm

# Cross-builds both Windows targets with mingw-w64 and runs their tests under Wine, in a sandbox
# where Wine sees none of the host's serial ports. The i686 tests need 32-bit Wine (wine32:i386).
test-windows:
	@tools/bootstrap.sh build test windows
	cmake --preset win64
	cmake --build --preset win64
	tools/wine/run-suite win64
	cmake --preset win32
	cmake --build --preset win32
	@if tools/wine/has-wine32; then tools/wine/run-suite win32; \
	else echo "test-windows: no 32-bit Wine here (wine32:i386 missing, or a kernel that runs no 32-bit programs): i686 tests built but not run"; fi

# The Windows installers (NSIS) and portable zips of both architectures:
# build/win64/pelmora-<version>-x86_64-setup.exe, build/win32/pelmora-<version>-i686-setup.exe and
# the matching -portable.zip files.
package-windows:
	@tools/bootstrap.sh build test windows installer
	cmake --preset win64
	cmake --build --preset win64 --target package-windows
	cmake --preset win32
	cmake --build --preset win32 --target package-windows

# Installs the x86_64 installer silently under Wine, starts the installed programs and uninstalls
# (CI does this).
package-windows-test: package-windows
	tools/wine/installer-test build/win64

# Types a few sample scans from a virtual scanner into a window of its own; never a real port.
demo: bootstrap
	@tools/demo.sh

bench:
	$(MAKE) build PRESET=release
	@bench/run.sh build/release

# Every fuzz target for FUZZ_SECONDS each, with a table of what they did; CI runs them briefly
# through `make test PRESET=fuzz`. The corpus grows in build/fuzz/fuzz/work between runs.
FUZZ_SECONDS ?= 600
fuzz:
	$(MAKE) build PRESET=fuzz
	@fuzz/run-all.sh build/fuzz $(FUZZ_SECONDS)

# The Debian package, built from the release preset.
package:
	$(MAKE) build PRESET=release
	cd build/release && cpack -G DEB

# Installs the package on this machine and smoke-tests the installed programs (CI does this).
package-test: package
	tools/package_smoke.sh

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run --Werror $(SOURCES)

clean:
	rm -rf build
