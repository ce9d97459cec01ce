# make run       - install what is missing, build, start the program (without
#                  a display: a demonstration on a virtual display)
# make test      - install what is missing, build, run the whole suite, then
#                  again under AddressSanitizer + UndefinedBehaviorSanitizer,
#                  then the Windows build of the whole program under Wine (the
#                  first time, after building Qt for MinGW into ~/.cache)
# make dist      - the downloads into build/dist: the Debian package, the
#                  Windows zip and installer (building Qt for MinGW the first
#                  time), and their SHA256SUMS
# make install   - install for one user under PREFIX (default ~/.local)
# make uninstall - remove exactly what make install wrote under PREFIX

CMAKE ?= cmake
CTEST ?= ctest
PREFIX ?= $(HOME)/.local

.PHONY: all deps build run demo screenshots test test-plain test-asan test-wine bench dist install uninstall clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	$(CMAKE) --preset default
	$(CMAKE) --build --preset default

run: build
	@scripts/run.sh build/default

demo: build
	@scripts/demo.sh build/default

# Renders the README's pictures from the real program into docs/.
screenshots: build
	$(CMAKE) --build --preset default --target screenshots

test-plain: build
	$(CTEST) --preset default

test-asan: deps
	$(CMAKE) --preset asan
	$(CMAKE) --build --preset asan
	$(CTEST) --preset asan

# The Windows lane: MinGW-w64 build of the whole program, tests under Wine.
test-wine: deps
	scripts/test-wine.sh

test: test-plain test-asan test-wine

bench: build
	$(CMAKE) --build --preset default --target bench

dist: build
	scripts/dist.sh

install: build
	$(CMAKE) --install build/default --prefix "$(PREFIX)"

uninstall:
	$(CMAKE) -DPREFIX="$(PREFIX)" -P cmake/Uninstall.cmake

clean:
	rm -rf build
