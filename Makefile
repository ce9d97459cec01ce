# make run   - install what is missing, build, start the program
# make test  - install what is missing, build, run the whole suite, then again
#              under AddressSanitizer + UndefinedBehaviorSanitizer, then the
#              Windows build under Wine

CMAKE ?= cmake
CTEST ?= ctest
APP    = build/default/app/TarvikBackUp

.PHONY: all deps build run test test-plain test-asan test-wine bench clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	$(CMAKE) --preset default
	$(CMAKE) --build --preset default

run: build
	$(APP)

test-plain: build
	$(CTEST) --preset default

test-asan: deps
	$(CMAKE) --preset asan
	$(CMAKE) --build --preset asan
	$(CTEST) --preset asan

# The Windows lane: MinGW-w64 build of core and platform, tests under Wine.
test-wine: deps
	scripts/test-wine.sh

test: test-plain test-asan test-wine

bench: build
	$(CMAKE) --build --preset default --target bench

clean:
	rm -rf build
