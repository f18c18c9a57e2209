# The few commands a newcomer types. Everything else is a CMake preset.
PRESET ?= release
JOBS ?= $(shell nproc)
PACKAGES := cmake make g++ clang libclang-rt-14-dev binutils pkg-config libgtest-dev libgmock-dev \
            libsndfile1-dev libcli11-dev libbenchmark-dev

.PHONY: all deps build test demo bench format format-check clean

all: build

deps:
	@sh tools/ensure-packages.sh $(PACKAGES)

build: deps
	cmake --preset $(PRESET)
	cmake --build --preset $(PRESET) -j $(JOBS)

test: build
	ctest --preset $(PRESET) -j $(JOBS)

# Ten seconds of white noise through program 0; a spectrogram too when sox is there.
demo: build
	./build/plughost render build/zur.so --program 0 -o build/demo.wav
	@if command -v sox >/dev/null 2>&1; then \
	  sox -V1 build/demo.wav -n remix 1 spectrogram -x 1000 -y 400 \
	    -t "ZUR, program 0: white noise through the swept 4-pole filter" -o build/demo.png && \
	  echo "spectrogram: build/demo.png"; \
	else echo "(install sox for a spectrogram: sudo apt-get install -y sox)"; fi

# Speed of every case against the limit of the recursion, with the ratio table.
bench: build
	./build/zur_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

SOURCES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run -Werror $(SOURCES)

clean:
	rm -rf build build-*
