# Thin wrapper over CMake presets. `make demo` shows the droplet's job on a
# document it makes; `make test` sets up, builds both targets and runs every test.
SHELL := /bin/bash
.PHONY: demo test setup native windows asan test-native test-windows test-asan fuzz lint bench clean

demo: setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target droplet
	scripts/demo.sh build/native/droplet

test: setup native windows test-native test-windows asan test-asan fuzz lint
	@echo "All test stages passed."

setup:
	@scripts/setup.sh

native:
	cmake --preset native
	cmake --build --preset native

windows:
	cmake --preset windows
	cmake --build --preset windows

test-native:
	ctest --preset native

test-windows:
	ctest --preset windows

# Sanitizer build (clang, AddressSanitizer + UndefinedBehaviorSanitizer),
# which also builds the fuzz targets.
asan:
	cmake --preset asan
	cmake --build --preset asan

test-asan:
	ctest --preset asan

fuzz:
	scripts/fuzz.sh build/asan

lint: native
	scripts/lint.sh build/native

# Speed and size figures as a Markdown table; droplet.exe's are included
# when build/windows/droplet.exe exists.
bench: setup native
	bench/figures.sh build/native/droplet build/windows/droplet.exe

clean:
	rm -rf build
