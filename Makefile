# Entry points: `make build`, `make test`, `make demo`, `make dist` (see README.md).
# Each installs missing Debian packages first (as root) and uses a private
# Wine prefix under build/.
BUILD   := build
GEN     := -G Ninja
XVFB    := xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp"

.PHONY: all build test demo deps clean bench dist

all: build

deps:
	@sh cmake/install-deps.sh

build: deps
	cmake -S . -B $(BUILD)/native $(GEN) -DCMAKE_BUILD_TYPE=Debug -DTAVRO_SANITIZE=ON
	cmake -S . -B $(BUILD)/x86 $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86.cmake -DTAVRO_BUILD_TESTS=OFF
	cmake -S . -B $(BUILD)/x64 $(GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x64.cmake
	cmake --build $(BUILD)/native
	cmake --build $(BUILD)/x86
	cmake --build $(BUILD)/x64
	@ls -l $(BUILD)/x86/TAVRO.OCX $(BUILD)/x64/TAVRO.OCX

test: build
	$(XVFB) sh cmake/run-tests.sh

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
	rm -rf $(BUILD)
