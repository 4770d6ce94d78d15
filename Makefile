# Entry points for people and CI. Each target installs what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps test bench format clean

all: test

deps:
	scripts/install-deps

# The tests ThreadSanitizer runs as well, in a build of their own: a CTest pattern.
TSAN_TESTS = LexiconDownloaderTest

# Sanitised debug build; every test through CTest.
test: deps
	cmake -S . -B $(BUILD)/test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
		-DTIVELA_SANITIZE=ON -DTIVELA_WERROR=ON
	cmake --build $(BUILD)/test -j $(JOBS)
	cd $(BUILD)/test && ctest --output-on-failure --timeout 300 -j $(JOBS)
	cmake -S . -B $(BUILD)/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIVELA_TSAN=ON -DTIVELA_WERROR=ON
	cmake --build $(BUILD)/tsan -j $(JOBS) --target $(TSAN_TESTS)
	cd $(BUILD)/tsan && ctest --output-on-failure --timeout 300 -R '^($(TSAN_TESTS))$$'

# Optimised build; every benchmark in bench/, one after another so they don't disturb each other.
bench:
	scripts/install-deps --bench
	cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIVELA_BENCH=ON -DTIVELA_TESTS=OFF
	cmake --build $(BUILD)/release -j $(JOBS)
	scripts/run-benchmarks $(BUILD)/release

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD)
