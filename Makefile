# Entry points of the project. Every target first installs what is missing.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CTEST_ARGS ?=

.PHONY: all setup configure build test demo-site clean

all: build

setup:
	@scripts/setup

$(BUILD_DIR)/build.ninja: | setup
	cmake -S . -B $(BUILD_DIR) -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

configure: setup $(BUILD_DIR)/build.ninja

build: configure
	cmake --build $(BUILD_DIR)

# Builds everything and runs every test through ctest; ctest prints its summary
# and the target fails when any test fails.
test: build
	ctest --test-dir $(BUILD_DIR) --output-on-failure $(CTEST_ARGS)

# Starts the demo site on free ports, writes build/quellix/quellix.cfg naming
# it, prints the addresses and demo accounts, and runs until Ctrl+C.
demo-site: build
	BUILD_DIR=$(BUILD_DIR) scripts/demo-site

clean:
	rm -rf $(BUILD_DIR)
