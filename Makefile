# Top-level commands; see README.md.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: all configure build run test clean

all: build

configure:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Runs the solver on the bundled example in a scratch folder.  The solver
# always ends with exit status 1, so that status is not a failure here.
run: build
	rm -rf $(BUILD_DIR)/run && mkdir -p $(BUILD_DIR)/run
	cp examples/pmeddata.dat examples/pmedmtrx.dat $(BUILD_DIR)/run/
	cd $(BUILD_DIR)/run && { ../pmedian; rc=$$?; [ $$rc -eq 1 ] || { echo "pmedian exited with status $$rc"; exit 1; }; }
	@echo; echo "--- $(BUILD_DIR)/run/solucao.txt"; cat $(BUILD_DIR)/run/solucao.txt

test: build
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD_DIR)
