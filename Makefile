# SPDX-License-Identifier: MIT
# Entry points: `make run` checks the desktop session, builds the agent and
# starts it; `make test` builds and runs every test but the long soak (`make
# soak` runs that); `make demo` starts the agent on a local demo stream, and
# `make demo-headless` the same without a desktop, into a screenshot; `make
# bench` measures the codec against its peers and the agent's whole path. Each
# first installs the Debian packages it needs (`make run` fewer than `make
# test`), and configures the build tree once. `make install` installs into
# PREFIX (default /usr/local), honouring DESTDIR; `make package` builds the
# Debian package.
BUILD ?= build
JOBS ?= $(shell nproc)
DEMO_PORT ?= 8765

BENCH_BUILD ?= build-bench
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600

MAKEFLAGS += --no-print-directory

.PHONY: deps test-deps configure test-configure build agent run test soak test-desktops test-sanitize fuzz demo demo-headless install package bench-build bench bench-codec bench-agent clean

deps:
	@scripts/install-deps

test-deps:
	@scripts/install-deps --tests

# Configured once, without the tests unless asked for; later builds configure
# again by themselves when a CMake file changes.
configure: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DPELLIX_BUILD_TESTS=OFF

test-configure: test-deps
	@grep -qs '^PELLIX_BUILD_TESTS:BOOL=ON' $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) -DPELLIX_BUILD_TESTS=ON

build: configure
	cmake --build $(BUILD) -j$(JOBS)

agent: configure
	cmake --build $(BUILD) -j$(JOBS) --target pellix-growl

# What the agent needs around it is checked before anything is built.
run:
	@scripts/check-session
	@$(MAKE) agent
	$(BUILD)/src/pellix-growl

test: test-configure
	cmake --build $(BUILD) -j$(JOBS)
	scripts/run-tests $(BUILD) -LE soak

# The long run of the stream path (CTest label soak): 100,000 lines over 21
# connections, every line once and in order, memory flat.
soak: test-configure
	cmake --build $(BUILD) -j$(JOBS)
	scripts/run-tests $(BUILD) -L soak

# The agent on a real headless GNOME Shell with the AppIndicator extension and
# on KDE Plasma (as root: the sessions run as a user of their own), bounded to
# 10 minutes.
test-desktops: build
	scripts/install-deps --desktops
	timeout 600 scripts/test-desktops $(BUILD)

demo: build
	scripts/run-demo $(BUILD) $(DEMO_PORT)

# Xvfb, a session bus of its own, dunst and the demo; the screen goes to
# $(BUILD)/demo.png once a notification from the stream is shown.
demo-headless: build
	@scripts/install-deps --demo
	scripts/demo-headless $(BUILD) $(DEMO_PORT)

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) $(if $(PREFIX),--prefix "$(PREFIX)")

package: build
	cmake --build $(BUILD) --target package

# The whole suite again under AddressSanitizer (leaks included) and
# UndefinedBehaviorSanitizer, in a build tree of its own. Instrumented frames
# are several times larger, so the codec's deepest nesting gets a larger stack.
test-sanitize: test-deps
	cmake -S . -B $(SANITIZE_BUILD) -DPELLIX_SANITIZE=ON
	cmake --build $(SANITIZE_BUILD) -j$(JOBS)
	ulimit -s 65536 && \
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	scripts/run-tests $(SANITIZE_BUILD) -LE soak

# Each fuzz target for FUZZ_SECONDS, built with clang's libFuzzer and sanitizers.
fuzz:
	scripts/install-deps --fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DPELLIX_BUILD_TESTS=OFF -DPELLIX_BUILD_FUZZERS=ON
	cmake --build $(FUZZ_BUILD) -j$(JOBS)
	scripts/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

# Benchmarks build apart, optimised, with the peer libraries they compare against.
bench-build:
	scripts/install-deps --bench
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DPELLIX_BUILD_TESTS=OFF -DPELLIX_BUILD_BENCH=ON
	cmake --build $(BENCH_BUILD) -j$(JOBS)

bench: bench-codec bench-agent

# The codec beside RapidJSON, simdjson, nlohmann/json and QJsonDocument.
# Repeated and interleaved, so that a busy spell of a shared machine does not
# fall on one library alone; the table shows each library's median run.
CODEC_BENCH_FLAGS ?= --benchmark_repetitions=5 --benchmark_enable_random_interleaving=true
bench-codec: bench-build
	$(BENCH_BUILD)/bench/pellix-codec-bench $(CODEC_BENCH_FLAGS)

# The built agent against the loopback stream and notification services.
bench-agent: bench-build
	$(BENCH_BUILD)/bench/pellix-agent-bench

clean:
	rm -rf $(BUILD) $(BENCH_BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)
