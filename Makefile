# make run   - install what is missing, build, start the program
# make test  - install what is missing, build, run the whole suite, then again
#              under AddressSanitizer + UndefinedBehaviorSanitizer

CMAKE ?= cmake
CTEST ?= ctest
APP    = build/default/app/TarvikBackUp

.PHONY: all deps build run test test-plain test-asan bench clean

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

test: test-plain test-asan

bench: build
	$(CMAKE) --build --preset default --target bench

clean:
	rm -rf build
