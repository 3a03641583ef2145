# The relay's everyday commands. `make demo` and `make test` do all the set-up
# they need on a fresh machine with the packages that .ci/run installs.
BUILD ?= build
BUILD_SAN ?= build-sanitize
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: build test unit-test sanitize fuzz bench demo clean format

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

unit-test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE e2e

# Every test, with the relay and the tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer.
sanitize:
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DZINDO_SANITIZE=ON
	cmake --build $(BUILD_SAN) -j $(JOBS)
	cd $(BUILD_SAN) && ctest --output-on-failure -j $(JOBS)

# Each fuzzer for FUZZ_SECONDS, built with Clang, libFuzzer and the
# sanitizers. The committed corpus seeds the run; what the fuzzer adds goes to
# $(BUILD_FUZZ)/corpus, and an input that fails lands in $(BUILD_FUZZ)/findings
# and fails the target.
define run_fuzzer
	mkdir -p $(BUILD_FUZZ)/corpus/$(1) $(BUILD_FUZZ)/findings/$(1)
	$(BUILD_FUZZ)/$(1)_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=$(2) \
	  -print_final_stats=1 -artifact_prefix=$(BUILD_FUZZ)/findings/$(1)/ \
	  $(BUILD_FUZZ)/corpus/$(1) tests/fuzz/corpus/$(1)
endef

fuzz:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) $(CMAKE_FLAGS) \
	  -DZINDO_FUZZ=ON -DZINDO_BUILD_TESTS=OFF
	cmake --build $(BUILD_FUZZ) -j $(JOBS) \
	  --target request_decoder_fuzz config_line_fuzz
	$(call run_fuzzer,request_decoder,512)
	$(call run_fuzzer,config_line,256)

# Figures for the relay on this machine: idle CPU, added latencies, memory.
bench: build
	$(BUILD)/relay_bench

demo: build
	tools/demo.sh $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_FUZZ)
