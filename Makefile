# Thin wrapper around CMake; see README.md.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all deps build run demo test sanitize fuzz bench containment clean

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run-tool.sh $(BUILD)/app/OrvexToolKit

demo: build
	@scripts/demo.sh $(BUILD)

test: build
	@scripts/run-tests.sh $(BUILD) $(JOBS)

# Quality gates (README, "Quality").
sanitize: deps
	scripts/sanitize.sh

fuzz: deps
	scripts/fuzz.sh

bench: build
	$(BUILD)/bench/orvex-bench --json $(BUILD)/bench.json

containment: deps
	scripts/containment.sh $(MAKE) test

clean:
	rm -rf $(BUILD)
