# The two commands of the README. Both install what is missing first.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

.PHONY: deps configure build run test test-asan clean

deps:
	tools/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@if [ -x $(BUILD)/bin/sonvera ]; then $(BUILD)/bin/sonvera; \
	else echo "The sonvera program is not built yet: only the libraries exist so far."; fi

# Every test, then the decoder's and the VQF codec's tests again under AddressSanitizer and UBSan.
test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) test-asan

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSONVERA_SANITIZE=ON -DSONVERA_BUILD_GUI=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -L 'decoder|svvqf'

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
