# The few commands a newcomer types. Everything else is a CMake preset.
PRESET ?= release
JOBS ?= $(shell nproc)
PACKAGES := cmake make g++ clang libclang-rt-14-dev binutils libgtest-dev libgmock-dev

.PHONY: all deps build test demo format format-check clean

all: build

deps:
	@sh tools/ensure-packages.sh $(PACKAGES)

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET) -j $(JOBS)

demo: build

SOURCES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run -Werror $(SOURCES)

clean:
	rm -rf build build-*
