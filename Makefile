# Entry points of the project. Every target first installs what is missing.
BUILD_DIR ?= build
BUILD_TYPE ?= RelWithDebInfo
CTEST_ARGS ?=

.PHONY: all setup configure build test test-sanitize package demo demo-site clean fuzz-http fuzz fuzz-build

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

# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer
# (Debug) in its own folder and runs every test under them; any report other
# than the third-party ones in scripts/sanitize/ fails the run.
SANITIZE_BUILD_DIR ?= build-sanitize
test-sanitize: setup
	SANITIZE_BUILD_DIR=$(SANITIZE_BUILD_DIR) scripts/test-sanitize $(CTEST_ARGS)

# The Debian package $(BUILD_DIR)/quellix_<version>_amd64.deb (CPack), from
# the same build; install it with `sudo apt install ./build/quellix_*.deb`
# (or dpkg -i).
package: build
	cmake --build $(BUILD_DIR) --target package

# The main job: the demo site and the client together. Starts the site,
# writes quellix.cfg, prints the demo accounts, starts the client and stops
# the site when the client exits.
demo: build
	BUILD_DIR=$(BUILD_DIR) scripts/demo-site --client

# Starts the demo site on free ports, writes build/quellix/quellix.cfg naming
# it, prints the addresses and demo accounts, and runs until Ctrl+C.
demo-site: build
	BUILD_DIR=$(BUILD_DIR) scripts/demo-site

# Fuzzes the HTTP response parsing with libFuzzer (clang) for FUZZ_SECONDS;
# fails on a finding, which is written to fuzz-out/.
FUZZ_SECONDS ?= 60
FUZZ_BUILD_DIR ?= build-fuzz
fuzz-http: fuzz-build
	mkdir -p fuzz-out/http_response_fuzz
	$(FUZZ_BUILD_DIR)/http_response_fuzz -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=fuzz-out/ fuzz-out/http_response_fuzz fuzz/corpus/http_response_fuzz

# Every fuzz target (fuzz/*_fuzz.cpp) for FUZZ_SECONDS each, one after the
# other, starting from its committed corpus (fuzz/corpus/<target>); new
# inputs go to fuzz-out/<target>/. Stops with failure at the first finding,
# whose input is written to fuzz-out/<target>-crash-... A finding that is
# fixed belongs in fuzz/corpus/<target>/ so that `make test` keeps it fixed.
FUZZ_TARGETS = $(basename $(notdir $(wildcard fuzz/*_fuzz.cpp)))
fuzz-build: setup
	cmake -S fuzz -B $(FUZZ_BUILD_DIR) -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
	    -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(FUZZ_BUILD_DIR)

fuzz: fuzz-build
	@set -e; for target in $(FUZZ_TARGETS); do \
	    echo "== $$target: $(FUZZ_SECONDS) s"; \
	    mkdir -p fuzz-out/$$target; \
	    $(FUZZ_BUILD_DIR)/$$target -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        -artifact_prefix=fuzz-out/$$target- fuzz-out/$$target fuzz/corpus/$$target; \
	done

clean:
	rm -rf $(BUILD_DIR) $(FUZZ_BUILD_DIR) $(SANITIZE_BUILD_DIR)
