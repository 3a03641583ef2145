# The relay's everyday commands. `make demo` and `make test` do all the set-up
# they need on a fresh machine with the packages that .ci/run installs.
BUILD ?= build
BUILD_SAN ?= build-sanitize
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: build test unit-test sanitize demo clean format

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

demo: build
	tools/demo.sh $(BUILD)

format:
	clang-format -i $$(git ls-files '*.cc' '*.h')

clean:
	rm -rf $(BUILD) $(BUILD_SAN)
