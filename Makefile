# The two commands: `make run` and `make test`.
JOBS ?= $(shell nproc)
RUN_DIR := build/release
TEST_DIR := build/test

.PHONY: run test build deps clean

deps:
	bash scripts/install-deps

build: deps
	cmake -S . -B $(RUN_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTREL_TESTS=OFF >/dev/null
	cmake --build $(RUN_DIR) -j $(JOBS) --target vantrel

run: build
	./$(RUN_DIR)/vantrel

test: deps
	cmake -S . -B $(TEST_DIR) -DCMAKE_BUILD_TYPE=Debug -DVANTREL_SANITIZE=ON >/dev/null
	cmake --build $(TEST_DIR) -j $(JOBS)
	cd $(TEST_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf build
