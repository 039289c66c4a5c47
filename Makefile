# Pavix: one CMake project, four build trees.
#   make run     set up, build, and run the demo
#   make test    set up, build everything, run every test suite
#   make bench   benchmarks: the frame parser and the camera's conversion
#                (native); both cameras, the clients (ffmpeg), the live link,
#                the Wi-Fi notice to the first picture (win64 under Wine)
#   make fuzz    each fuzz target for FUZZ_SECONDS
#   make soak    pavix.exe streaming with faults for SOAK_MINUTES (default 30)
#   make dist    the Windows installers and the portable zip, into DIST
#   make guide-shots  the user guide's screenshots (docs/images), under Wine
# Set-up installs Debian packages (root) and cross-builds the dependencies
# once per machine into ~/.cache/pavix-deps (PAVIX_DEPS_DIR overrides).

BUILD        ?= build
NATIVE       := $(BUILD)/native
SANITIZE     := $(BUILD)/sanitize
WIN64        := $(BUILD)/win64
WIN32        := $(BUILD)/win32
FUZZ_SECONDS ?= 300
RUN_SECONDS  ?= 20
SOAK_MINUTES ?= 30
DIST         ?= $(BUILD)/dist
CMAKE_GEN    := -G Ninja

.PHONY: all setup deps configure build test run bench fuzz soak dist guide-shots clean

all: build

setup:
	@scripts/install-packages.sh

deps: setup
	@scripts/build-deps.sh x86_64-w64-mingw32
	@scripts/build-deps.sh i686-w64-mingw32

$(NATIVE)/build.ninja:
	cmake -S . -B $(NATIVE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DPAVIX_BENCH=ON

$(SANITIZE)/build.ninja:
	CC=clang CXX=clang++ cmake -S . -B $(SANITIZE) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug \
	  -DPAVIX_SANITIZE=ON -DPAVIX_FUZZ=ON

$(WIN64)/build.ninja:
	cmake -S . -B $(WIN64) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake

$(WIN32)/build.ninja:
	cmake -S . -B $(WIN32) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake

configure: deps $(NATIVE)/build.ninja $(SANITIZE)/build.ninja $(WIN64)/build.ninja $(WIN32)/build.ninja

build: configure
	cmake --build $(NATIVE)
	cmake --build $(SANITIZE)
	cmake --build $(WIN64)
	cmake --build $(WIN32)

test: build
	@scripts/run-tests.sh $(BUILD)

run: build
	@scripts/run-pavix.sh $(WIN64) $(NATIVE) $(RUN_SECONDS)

bench: build
	@echo "== frame parser (native)"
	$(NATIVE)/tests/bench/frame_parser_bench
	@echo "== frame path: decode, scale into the block and the preview (native)"
	$(NATIVE)/tests/bench/frame_path_bench
	@echo "== HD block: decoded picture written as I420 against a BGRX copy, with a camera's read (native)"
	$(NATIVE)/tests/bench/hd_block_bench
	@echo "== camera filter (win64 under Wine)"
	tests/filter/run_camera_bench.sh $(WIN64) 10
	@echo "== Windows camera (Media Foundation source): arrival -> application latency, cost per sample, against the bare event wake and libyuv (win64 under Wine)"
	tests/filter/run_camera_bench.sh $(WIN64) 10 tests/mfcamera/media_source_bench.exe
	@echo "== camera sample: crop, scale, convert into each offered type, against bare libyuv (native)"
	$(NATIVE)/tests/bench/camera_converter_bench
	@echo "== camera clients: send -> sample latency, repeats, pictures never delivered, pavix.exe CPU (ffmpeg under Wine)"
	tests/app/camera_client_bench.sh $(WIN64) $(NATIVE) 25
	@echo "== live link: throughput, latency, cost per picture (win64 under Wine)"
	tests/app/live_link_bench.sh $(WIN64) $(NATIVE) 10
	@echo "== recording: CPU per recorded second against not recording (win64 under Wine)"
	tests/app/record_bench.sh $(WIN64) $(NATIVE) 10
	@echo "== Wi-Fi notice to first picture (win64 under Wine)"
	tests/app/notice_bench.sh $(WIN64) $(NATIVE) 20

# Soak (not part of test): pavix.exe under Wine streams with faults for
# SOAK_MINUTES, printing its memory, handles, threads and pictures each minute.
soak: configure
	cmake --build $(NATIVE) --target phonesim
	cmake --build $(WIN64) --target pavix pavix_probe RovoFilter
	@tests/app/soak.sh $(WIN64) $(NATIVE) $(SOAK_MINUTES)

fuzz: setup $(SANITIZE)/build.ninja
	cmake --build $(SANITIZE)
	@scripts/run-fuzzers.sh $(SANITIZE) $(FUZZ_SECONDS)

# From the win64 and win32 trees: Pavix-<version>-setup-x64.exe,
# Pavix-<version>-setup-x86.exe, Pavix-<version>-portable-x64.zip.
dist: configure
	cmake --build $(WIN64) --target pavix RovoFilter
	cmake --build $(WIN32) --target pavix RovoFilter
	@scripts/dist/make-dist.sh $(WIN64) $(WIN32) $(DIST)

guide-shots: configure
	cmake --build $(NATIVE) --target phonesim
	cmake --build $(WIN64) --target pavix RovoFilter pavix_probe
	@scripts/make-guide-shots.sh $(WIN64) $(NATIVE) docs/images

clean:
	rm -rf $(BUILD)
