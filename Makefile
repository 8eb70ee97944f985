# The two commands: `make run` and `make test`.
JOBS ?= $(shell nproc)
RUN_DIR := build/release
TEST_DIR := build/test
WIN_DIR := build/windows
WIN64_DIR := build/windows64
PREFIX ?= /usr/local
FUZZ_SECONDS ?= 600
FUZZ_DIR := build/fuzz
FUZZ_FS := src/framework/file_system.cpp src/platform/posix/file_system_posix.cpp \
  src/platform/posix/fd_io.cpp
FUZZ_CXX := clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc -Itests
# Rebuilds are much cheaper with ccache; it is used when the machine has it.
CCACHE := $(shell command -v ccache 2>/dev/null)
LAUNCHER := $(if $(CCACHE),-DCMAKE_CXX_COMPILER_LAUNCHER=$(CCACHE) -DCMAKE_C_COMPILER_LAUNCHER=$(CCACHE))

.PHONY: run test build deps install deb fuzz clean windows windows-test

deps:
	bash scripts/install-deps

build: deps
	cmake -S . -B $(RUN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(LAUNCHER) >/dev/null
	cmake --build $(RUN_DIR) -j $(JOBS) --target vantrel

run: build
	./$(RUN_DIR)/vantrel

test: deps
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON $(LAUNCHER) >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory windows-test

# The native 32-bit Windows program, cross-built with MinGW-w64: vantrel.exe
# and a zip with it and its help page, in $(WIN_DIR).
windows: deps
	cmake -S . -B $(WIN_DIR) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw32.cmake \
	  -DCMAKE_BUILD_TYPE=Release $(LAUNCHER) >/dev/null
	cmake --build $(WIN_DIR) -j $(JOBS) --target windows_zip
	@ls -l $(WIN_DIR)/vantrel.exe $(WIN_DIR)/vantrel-*-win32.zip

# The behaviour tests and a smoke test of vantrel.exe, under Wine. Where this
# machine cannot run 32-bit programs (some kernels and sandboxes leave that
# out), the same tests run from a 64-bit build of the same sources under
# 64-bit Wine.
windows-test: windows
	@if /lib/ld-linux.so.2 --version >/dev/null 2>&1; then dir=$(WIN_DIR); else \
	  echo "windows-test: 32-bit programs cannot run here; testing a 64-bit build in $(WIN64_DIR)"; \
	  dir=$(WIN64_DIR); \
	  cmake -S . -B $$dir -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw64.cmake \
	    -DCMAKE_BUILD_TYPE=Release $(LAUNCHER) >/dev/null || exit 1; \
	fi; \
	cmake --build $$dir -j $(JOBS) && cd $$dir && ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(RUN_DIR)

# A Debian package installed under /usr, built with Debian's hardening flags,
# then checked as Debian's archive checks packages.
DEB_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
deb: deps
	cmake -S . -B build/deb -DCMAKE_BUILD_TYPE=Release -DVANTREL_TESTS=OFF \
	  -DCMAKE_INSTALL_PREFIX=/usr $(LAUNCHER) \
	  -DCMAKE_CXX_FLAGS="$$($(DEB_FLAGS) CXXFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
	  -DCMAKE_C_FLAGS="$$($(DEB_FLAGS) CFLAGS) $$($(DEB_FLAGS) CPPFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$$($(DEB_FLAGS) LDFLAGS)" >/dev/null
	cmake --build build/deb -j $(JOBS) --target vantrel
	cd build/deb && cpack -G DEB
	lintian --fail-on error build/deb/vantrel_*.deb

# Each fuzz target runs FUZZ_SECONDS (ten minutes unless given); a crash
# leaves its input in $(FUZZ_DIR). The targets also save, lock and read files
# in a scratch folder (FUZZ_TMPDIR, else /dev/shm), and profiles reach past
# the 1 MiB limit. On a shared machine: nice -n 19 make fuzz.
fuzz: deps
	mkdir -p $(FUZZ_DIR)/list_corpus $(FUZZ_DIR)/profile_corpus
	$(FUZZ_CXX) tests/fuzz/list_file_fuzz.cpp src/dial_list/list_file.cpp $(FUZZ_FS) \
	  -o $(FUZZ_DIR)/list_file_fuzz
	$(FUZZ_CXX) tests/fuzz/profile_fuzz.cpp src/framework/profile_store.cpp $(FUZZ_FS) \
	  -o $(FUZZ_DIR)/profile_fuzz
	cd $(FUZZ_DIR) && ./list_file_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=52000 \
	  -print_final_stats=1 list_corpus
	cd $(FUZZ_DIR) && ./profile_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=16384 \
	  -print_final_stats=1 profile_corpus

clean:
	rm -rf build
