# Thin wrapper over CMake presets. `make demo` shows the droplet's job on a
# document it makes; `make test` sets up, builds both targets and runs every test.
SHELL := /bin/bash
.PHONY: demo test setup native windows test-native test-windows bench clean

demo: setup
	cmake --preset native >/dev/null
	cmake --build --preset native --target droplet
	scripts/demo.sh build/native/droplet

test: setup native windows test-native test-windows
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

bench: setup native
	bench/repair_bench.sh build/native/droplet

clean:
	rm -rf build
