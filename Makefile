# qorsv: the two everyday commands are `make run` and `make test`.
#   make            build the program directory build/run/
#   make run        build and start the server from build/run/
#   make test       build and run every test (unit, end-to-end, fuzz smoke runs)
#   make asan-test  the tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   make tsan-test  the tests under ThreadSanitizer
#   make fuzz       run every libFuzzer target for a bounded time
#   make bench      run the benchmarks in tools/bench/ (installs wrk, nginx, php-fpm, lua5.4,
#                   hyperfine)

SHELL := /bin/bash
BUILD      ?= build
JOBS       ?= 2
FUZZ_SECONDS ?= 60

BUILD_PACKAGES := build-essential cmake ninja-build pkg-config libgtest-dev libgmock-dev \
                  libsqlite3-dev libffi-dev nlohmann-json3-dev libgoogle-perftools-dev nodejs
TEST_PACKAGES  := $(BUILD_PACKAGES) curl clang libclang-rt-14-dev python3 python3-aiosmtpd \
                  iputils-ping procps chromium python3-matplotlib gnuplot-nox
BENCH_PACKAGES := $(TEST_PACKAGES) wrk nginx php-fpm php-sqlite3 lua5.4 hyperfine

.DEFAULT_GOAL := build
.PHONY: run test asan-test tsan-test fuzz bench build deps-build deps-test deps-bench deps-node

# Installs missing Debian packages when running as root; otherwise prints the command and stops.
define ensure_packages
	@missing=""; for p in $(1); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ]; then \
	    echo "Installing:$$missing"; \
	    (apt-get update -qq || true) && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else \
	    echo "Missing packages. Run as root:  apt-get install -y$$missing"; exit 1; \
	  fi; \
	fi
endef

deps-build:
	$(call ensure_packages,$(BUILD_PACKAGES))
deps-test:
	$(call ensure_packages,$(TEST_PACKAGES))
deps-bench:
	$(call ensure_packages,$(BENCH_PACKAGES))

# The npm packages of package.json, as package-lock.json pins them: CodeMirror and esbuild, which
# the build bundles into the workbench page, and playwright-core for the browser tests (the
# browser is Debian's chromium). Installed when node_modules is missing or older than the lock.
# (npm may come with nodejs, as in NodeSource's package, or as Debian's own package.)
deps-node: deps-build
	@if ! command -v npm >/dev/null; then \
	  if [ "$$(id -u)" = 0 ]; then DEBIAN_FRONTEND=noninteractive apt-get install -y -qq npm; \
	  else echo "Missing npm. Run as root:  apt-get install -y npm"; exit 1; fi; \
	fi
	@if [ ! -f node_modules/.package-lock.json ] || \
	    [ package-lock.json -nt node_modules/.package-lock.json ]; then \
	  echo "npm ci"; \
	  npm ci --no-audit --no-fund --loglevel=error; \
	fi

define configure_and_build
	cmake -S . -B $(1) -G Ninja $(2) >/dev/null
	cmake --build $(1) -j $(JOBS) $(3)
endef

build: deps-build deps-node
	$(call configure_and_build,$(BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo)

run: build
	cd $(BUILD)/run && exec ./qorsv

test: deps-test deps-node
	$(call configure_and_build,$(BUILD),-DCMAKE_BUILD_TYPE=RelWithDebInfo)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(call configure_and_build,$(BUILD)-fuzz,-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQORSV_FUZZ=ON -DQORSV_SANITIZE=ON -DQORSV_TESTS=OFF -DCMAKE_BUILD_TYPE=Debug)
	cd $(BUILD)-fuzz && ctest --output-on-failure -j $(JOBS)

asan-test: deps-test deps-node
	$(call configure_and_build,$(BUILD)-asan,-DQORSV_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug)
	cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j $(JOBS)

tsan-test: deps-test deps-node
	$(call configure_and_build,$(BUILD)-tsan,-DQORSV_TSAN=ON -DCMAKE_BUILD_TYPE=Debug)
	cd $(BUILD)-tsan && ctest --output-on-failure -j $(JOBS)

fuzz: deps-test deps-node
	$(call configure_and_build,$(BUILD)-fuzz,-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DQORSV_FUZZ=ON -DQORSV_SANITIZE=ON -DQORSV_TESTS=OFF -DCMAKE_BUILD_TYPE=Debug)
	@for f in $(BUILD)-fuzz/fuzz/*; do \
	  [ -x "$$f" ] || continue; \
	  echo "== $$f for $(FUZZ_SECONDS) s"; \
	  mkdir -p $(BUILD)-fuzz/corpus/$$(basename $$f); \
	  "$$f" -max_total_time=$(FUZZ_SECONDS) -max_len=4096 $(BUILD)-fuzz/corpus/$$(basename $$f) || exit 1; \
	done

bench: deps-bench deps-node
	$(call configure_and_build,$(BUILD)-bench,-DCMAKE_BUILD_TYPE=Release -DQORSV_TESTS=OFF)
	@for b in tools/bench/*/run.sh; do \
	  [ -f "$$b" ] || continue; \
	  echo "== $$b"; QORSV_BUILD=$(BUILD)-bench bash "$$b" || exit 1; \
	done
