# Two commands set everything up on a fresh Debian machine:
#   make run    install what is missing, build, run the player on the bundled data.pod
#   make test   the same, then run every test
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=
ARGS ?=
BUILD_FUZZ ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = $(basename $(notdir $(filter-out fuzz/replay_main.cpp,$(wildcard fuzz/*.cpp))))

.PHONY: all deps configure build run test bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/mivo3 $(ARGS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done

# The installed tree (stripped): make install PREFIX=/usr/local. The Debian
# package and the relocatable tar.gz land in $(BUILD).
PREFIX ?= /usr/local
.PHONY: install package

install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

package: build
	cd $(BUILD) && cpack

# Each fuzz target for FUZZ_SECONDS under the address and undefined-behaviour
# sanitizers, starting from its stored corpus; new inputs go to
# $(BUILD_FUZZ)/corpus/<target>, crashes to $(BUILD_FUZZ)/crashes/.
fuzz: deps
	@cmake -S . -B $(BUILD_FUZZ) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DMIVO3_FUZZ=ON -DMIVO3_BENCH=OFF -DBUILD_TESTING=OFF > /dev/null
	@cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_targets
	@mkdir -p $(BUILD_FUZZ)/crashes
	@for t in $(FUZZ_TARGETS); do \
		echo "== $$t"; mkdir -p $(BUILD_FUZZ)/corpus/$$t; \
		UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		$(BUILD_FUZZ)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -print_final_stats=1 \
			-artifact_prefix=$(BUILD_FUZZ)/crashes/$$t- $(BUILD_FUZZ)/corpus/$$t fuzz/corpus/$$t 2>&1 \
			| grep -E "^#[0-9]+.*DONE|stat::number_of_executed_units|ERROR|SUMMARY" || exit 1; \
	done

clean:
	rm -rf $(BUILD)
