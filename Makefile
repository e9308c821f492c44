# Thin wrapper over CMake presets. `make demo` shows the droplet's job on a
# document it makes; `make test` sets up, builds both targets and runs every test.
SHELL := /bin/bash
.PHONY: demo test setup native windows asan test-native test-windows test-asan fuzz lint bench soak clean \
        dist sign test-dist

# The demo needs only a compiler, CMake and Ninja: its own build, without tests.
demo:
	@scripts/setup.sh demo
	cmake --preset demo >/dev/null
	cmake --build --preset demo --target droplet
	scripts/demo.sh build/demo/droplet

test: setup native windows test-native test-windows test-dist asan test-asan fuzz lint
	@echo "All test stages passed."

setup:
	@scripts/setup.sh

native:
	cmake --preset native
	cmake --build --preset native

# Both Windows programs are always built: x86 (the shipped droplet.exe) and x64.
windows:
	cmake --preset windows
	cmake --build --preset windows
	cmake --preset windows-x64
	cmake --build --preset windows-x64

test-native:
	ctest --preset native

# The x64 tests run under 64-bit Wine on every machine; the x86 ones only
# where this machine runs 32-bit programs (scripts/win32-support.sh tries),
# and elsewhere the x86 program's image is still checked.
test-windows:
	ctest --preset windows-x64
	@if reason=$$(scripts/win32-support.sh); then \
	  ctest --preset windows; \
	else \
	  echo "32-bit Windows tests skipped: $$reason"; \
	  ctest --preset windows -R '^(droplet_exe_image|version_resource|reproducible_build|signing)$$'; \
	fi

# Downloads for users in dist/ (scripts/dist.sh): a zip and an installer per
# Windows program, the Linux tarball, SHA256SUMS. `make sign CERT=cert.pem
# KEY=key.pem` makes the same, with programs and installers signed.
dist: setup
	cmake --preset windows
	cmake --build --preset windows --target droplet check_documents repair_folders droplet-maker -j2
	cmake --preset windows-x64
	cmake --build --preset windows-x64 --target droplet check_documents repair_folders droplet-maker -j2
	cmake --preset dist-linux
	cmake --build --preset dist-linux --target droplet droplet-maker -j2
	scripts/dist.sh $(if $(CERT),--cert "$(CERT)" --key "$(KEY)") dist

sign:
	@if [ -z "$(CERT)" ] || [ -z "$(KEY)" ]; then \
	  echo "usage: make sign CERT=cert.pem KEY=key.pem"; exit 2; fi
	$(MAKE) dist CERT="$(CERT)" KEY="$(KEY)"

test-dist: dist
	scripts/check-dist.sh dist

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

# The repair soak: a million seeded files through each scan path against the
# plain model, with the counts per path (minutes; not part of make test).
# SOAK_FILES sets the number of files.
soak:
	cmake --preset native
	cmake --build --preset native --target repair_soak
	build/native/tests/soak/repair_soak $(or $(SOAK_FILES),1000000)

clean:
	rm -rf build dist
