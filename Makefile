# Entry points: `make run` builds and starts the agent, `make test` builds and
# runs every test, `make demo` starts the agent on a local demo stream, `make bench`
# measures the codec against its peers and the agent's whole path. All first install
# the Debian packages the build needs. `make install` installs into PREFIX (default
# /usr/local), honouring DESTDIR; `make package` builds the Debian package.
BUILD ?= build
JOBS ?= $(shell nproc)
DEMO_PORT ?= 8765

BENCH_BUILD ?= build-bench

.PHONY: deps configure build run test demo install package bench-build bench bench-codec bench-agent clean

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

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) $(if $(PREFIX),--prefix "$(PREFIX)")

package: build
	cmake --build $(BUILD) --target package

# Benchmarks build apart, optimised, with the peer libraries they compare against.
bench-build:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DPELLIX_BUILD_TESTS=OFF -DPELLIX_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS)

bench: bench-codec bench-agent

# The codec beside RapidJSON, simdjson, nlohmann/json and QJsonDocument.
bench-codec: bench-build
	$(BENCH_BUILD)/bench/pellix-codec-bench

# The built agent against the loopback stream and notification services.
bench-agent: bench-build
	$(BENCH_BUILD)/bench/pellix-agent-bench

clean:
	rm -rf $(BUILD) $(BENCH_BUILD)
