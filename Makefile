# Entry points for people and CI. Each target installs what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)

# The dictionary packs, built once from Debian's data and shared by every build of this folder.
PACKS ?= $(abspath $(BUILD))/packs
# What a build's configuration adds so its staged bundle reads the packs of $(PACKS): a
# target that runs the application depends on "packs" and configures its build with this.
PACKS_CMAKE = -DTIVELA_PACKS=ON -DTIVELA_PACKS_DIR=$(PACKS)

.PHONY: all deps test format-check bench packs run format clean

all: test

deps:
	scripts/install-deps

# The tests ThreadSanitizer runs as well, in a build of their own.
TSAN_TESTS = LexiconDownloaderTest MorphologyTest StoreWriterTest
space := $(subst ,, )

# Sanitised debug build; every test through CTest. The formatting is checked first, as CI does.
# TEST_PACKS=build/packs runs the self-test's desktop test on the packs of `make packs` instead
# of its own small ones (building them takes minutes, so CI does not).
test: deps format-check
	cmake -S . -B $(BUILD)/test -G Ninja -DCMAKE_BUILD_TYPE=Debug \
		-DTIVELA_SANITIZE=ON -DTIVELA_WERROR=ON
	cmake --build $(BUILD)/test -j $(JOBS)
	cd $(BUILD)/test && TIVELA_TEST_PACKS=$(if $(TEST_PACKS),$(abspath $(TEST_PACKS))) \
		ctest --output-on-failure --timeout 900 -j $(JOBS)
	cmake -S . -B $(BUILD)/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTIVELA_TSAN=ON -DTIVELA_WERROR=ON
	cmake --build $(BUILD)/tsan -j $(JOBS) --target $(TSAN_TESTS)
	cd $(BUILD)/tsan && ctest --output-on-failure --timeout 900 -R '^($(subst $(space),|,$(TSAN_TESTS)))$$'

# Optimised build; every benchmark in bench/, one after another so they don't disturb each other.
bench:
	scripts/install-deps --bench
	cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIVELA_BENCH=ON \
		-DTIVELA_TESTS=OFF -DTIVELA_PACKS_DIR=$(PACKS)
	cmake --build $(BUILD)/release -j $(JOBS)
	cmake --build $(BUILD)/release --target packs
	scripts/run-benchmarks $(BUILD)/release

# Dictionary packs in $(PACKS), each built only when missing (a few minutes the first time).
packs:
	scripts/install-deps --packs
	cmake -S . -B $(BUILD)/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTIVELA_PACKS_DIR=$(PACKS)
	cmake --build $(BUILD)/release --target packs

# The tray application on this desktop, from an optimised build without sanitizers (its install
# folder build/run/stage), reading the dictionary packs of $(PACKS). The desktop is checked first:
# the packs take minutes the first time.
run:
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
		echo "make run: Tivela needs a desktop session: neither DISPLAY nor WAYLAND_DISPLAY is set." >&2; \
		exit 1; \
	fi
	$(MAKE) packs
	cmake -S . -B $(BUILD)/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTIVELA_TESTS=OFF \
		$(PACKS_CMAKE)
	cmake --build $(BUILD)/run -j $(JOBS) --target tivela tivela-bridge
	$(BUILD)/run/stage/bin/tivela

format:
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format -i

# Fails naming every tracked C++ file that "make format" would change.
format-check: deps
	git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

clean:
	rm -rf $(BUILD)
