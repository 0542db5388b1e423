# Entry points: `make run` builds and starts the agent, `make test` builds and
# runs every test. Both first install the Debian packages the build needs.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: deps configure build run test clean

deps:
	scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/src/pellix-growl

test: build
	scripts/run-tests $(BUILD)

clean:
	rm -rf $(BUILD)
