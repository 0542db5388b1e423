# Entry points: `make run` builds and starts the agent, `make test` builds and
# runs every test, `make demo` starts the agent on a local demo stream. All
# first install the Debian packages the build needs.
BUILD ?= build
JOBS ?= $(shell nproc)
DEMO_PORT ?= 8765

.PHONY: deps configure build run test demo clean

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

demo: build
	scripts/run-demo $(BUILD) $(DEMO_PORT)

clean:
	rm -rf $(BUILD)
