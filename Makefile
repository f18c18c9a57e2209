# The few commands a newcomer types. Everything else is a CMake preset.
PRESET ?= release
JOBS ?= $(shell nproc)
PACKAGES := cmake make g++ clang libclang-rt-14-dev binutils pkg-config libgtest-dev libgmock-dev \
            libsndfile1-dev libcli11-dev libbenchmark-dev lv2-dev liblilv-dev lilv-utils sordi

.PHONY: all deps build test demo bench tsan fuzz i386 win64 install uninstall package dist \
        format format-check clean

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
# Short repetitions of all cases in random order; each case counts its fastest.
bench: build
	./build/zur_bench --benchmark_repetitions=25 --benchmark_min_time=0.03 \
	  --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true

# The audio and control threads at once, under ThreadSanitizer.
tsan: deps
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS)
	ctest --preset tsan

# Replays the committed corpus, then fuzzes for FUZZ_SECONDS (new inputs go
# to a scratch folder, not into the repository).
FUZZ_SECONDS ?= 60
fuzz: deps
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	./build-fuzz/fuzz_host_calls fuzz/corpus/*
	rm -rf build-fuzz/corpus && mkdir -p build-fuzz/corpus && cp fuzz/corpus/* build-fuzz/corpus/
	./build-fuzz/fuzz_host_calls -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 build-fuzz/corpus

# The 32-bit x86 build, every test run under qemu-i386.
I386_PACKAGES := g++-multilib qemu-user
i386:
	@sh tools/ensure-packages.sh $(PACKAGES) $(I386_PACKAGES)
	cmake --preset i386
	cmake --build --preset i386 -j $(JOBS)
	ctest --preset i386 -j $(JOBS)

# The Windows x64 DLL, and the host-level tests as a Windows program under Wine
# (in a Wine prefix of its own inside the build folder).
WIN64_PACKAGES := g++-mingw-w64-x86-64-posix wine64 wine
win64: export WINEPREFIX = $(CURDIR)/build-win64/wineprefix
win64: export WINEDEBUG = -all
win64:
	@sh tools/ensure-packages.sh $(PACKAGES) $(WIN64_PACKAGES)
	cmake --preset win64
	cmake --build --preset win64 -j $(JOBS)
	ctest --preset win64

# Installs under PREFIX (and DESTDIR, for staging): the module in
# PREFIX/lib/zur, the LV2 bundle in PREFIX/lib/lv2/zur.lv2, plughost in
# PREFIX/bin with its manual page and bash completion.
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)" --strip

# Removes exactly what install puts there with the same PREFIX and DESTDIR.
uninstall: build
	DESTDIR="$(DESTDIR)" sh tools/uninstall.sh build "$(PREFIX)"

# build/zur_<version>_<arch>.deb, with the same files under /usr.
package: build
	@sh tools/ensure-packages.sh dpkg-dev
	cd build && cpack -G DEB

# build/zur-<version>-windows-x64.zip: the Windows module and a text for its
# users (`make win64` tests the module).
dist:
	@sh tools/ensure-packages.sh $(PACKAGES) $(WIN64_PACKAGES)
	cmake --preset win64
	cmake --build --preset win64 --target dist

SOURCES = $(shell git ls-files '*.cpp' '*.h')

format:
	clang-format -i $(SOURCES)

format-check:
	clang-format --dry-run -Werror $(SOURCES)

clean:
	rm -rf build build-*
