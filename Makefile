# Entry points: `make build`, `make test`, `make test32`, `make demo`,
# `make dist` (see README.md). Each installs missing Debian packages first
# (as root) and uses a private Wine prefix under build/.
BUILD   := build
GEN     := -G Ninja
XVFB    := xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp"

.PHONY: all build build32 test test32 demo deps clean bench dist

all: build

deps:
	@sh cmake/install-deps.sh

build: deps
	cmake -S . -B $(BUILD)/native $(GEN) -DCMAKE_BUILD_TYPE=Debug -DTAVRO_SANITIZE=ON
	cmake -S . -B $(BUILD)/x86 $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86.cmake -DTAVRO_BUILD_TESTS=ON
	cmake -S . -B $(BUILD)/x64 $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x64.cmake
	cmake --build $(BUILD)/native
	cmake --build $(BUILD)/x86
	cmake --build $(BUILD)/x64
	@ls -l $(BUILD)/x86/TAVRO.OCX $(BUILD)/x64/TAVRO.OCX

# The 64-bit suite, then the 32-bit one (even after a failure): both count.
test: build
	$(XVFB) sh cmake/run-tests.sh; s=$$?; $(XVFB) sh cmake/run-tests32.sh && exit $$s

# The x86 OCX, tavrorun and the Windows tests, run with 32-bit Wine in an
# i386 chroot built on first use (root; see README.md).
build32: deps
	cmake -S . -B $(BUILD)/x86 $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86.cmake -DTAVRO_BUILD_TESTS=ON
	cmake --build $(BUILD)/x86

test32: build32
	$(XVFB) sh cmake/run-tests32.sh

demo: build
	$(XVFB) sh cmake/run-demo.sh

# build/TAVRO.zip: both OCX files, both tavrorun.exe, examples, docs and the
# install.cmd / uninstall.cmd that register per user or machine-wide.
dist: build
	sh cmake/make-dist.sh

bench: build
	$(XVFB) sh cmake/run-bench.sh

clean:
	-WINEPREFIX=$(CURDIR)/$(BUILD)/wineprefix wineserver -k 2>/dev/null
	-WINEPREFIX=$(CURDIR)/$(BUILD)/wineprefix32 wineserver -k 2>/dev/null
	rm -rf $(BUILD)
