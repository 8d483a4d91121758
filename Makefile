# The two commands of the README. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
ARM_BUILD  ?= build-aarch64
JOBS       ?= $(shell nproc)

.PHONY: deps configure build run test test-asan test-aarch64 clean

deps:
	tools/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/bin/sonvera ]; then $(BUILD)/bin/sonvera; \
	else echo "The sonvera program is not built yet: only the libraries exist so far."; fi

# Every test, then the decoder's and the codec libraries' tests again under AddressSanitizer and
# UBSan, and the decoder built for 64-bit ARM on the conformance streams.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-asan
	$(MAKE) test-aarch64

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVERA_SANITIZE=ON -DSONVERA_BUILD_GUI=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L 'decoder|svvqf|codecs'

# The decoder cross-built for aarch64 decodes the conformance streams under qemu-aarch64
# (when the cross compiler and qemu-user are installed, as tools/install-deps does).
test-aarch64:
	@if command -v aarch64-linux-gnu-g++ >/dev/null && command -v qemu-aarch64 >/dev/null; then \
	  cmake -S tests/decoder/cross -B $(ARM_BUILD) -DCMAKE_BUILD_TYPE=Release \
	    -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/tests/decoder/cross/aarch64-linux-gnu.cmake >/dev/null && \
	  cmake --build $(ARM_BUILD) -j $(JOBS) && \
	  qemu-aarch64 -L /usr/aarch64-linux-gnu $(ARM_BUILD)/bin/conformance_run ../shared/vectors $(ARM_BUILD)/scratch; \
	else echo "test-aarch64: aarch64-linux-gnu-g++ or qemu-aarch64 missing (tools/install-deps installs them); skipped"; fi

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(ARM_BUILD)
