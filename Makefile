# Top-level commands; see README.md.
BUILD_DIR ?= build
BUILD_TYPE ?= Release
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

# The sanitizer build: ASan, UBSan and the float-to-int checks that g++ keeps
# out of "undefined", optimised as a release is so that the suite stays quick.
SANITIZE_DIR ?= build-sanitize
SANITIZERS ?= address,undefined,float-cast-overflow

.PHONY: all configure build run test test-sanitize clean

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

# The whole suite again, with every program (the end-to-end runs included)
# built with the sanitizers.
test-sanitize:
	$(MAKE) test BUILD_DIR=$(SANITIZE_DIR) BUILD_TYPE=RelWithDebInfo \
	    CMAKE_FLAGS="-DPMEDIAN_SANITIZE=$(SANITIZERS) $(CMAKE_FLAGS)"

clean:
	rm -rf $(BUILD_DIR)
