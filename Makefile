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

.PHONY: all deps configure build run test bench fuzz fuzz-one clean

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

# The benchmark programs, then the headless runner's speed on the head cart
# and on a cart that spends its whole CPU budget every frame.
bench: build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; $$b; done
	@echo "== $(BUILD)/mivo3-run"
	@for c in assets/carts/lampwake.m3 bench/carts/full_budget.m3; do \
		./$(BUILD)/mivo3-run --stats --seed 1 --frames 3600 --press 30:x $$c > /dev/null || exit 1; \
	done

# The installed tree (stripped): make install PREFIX=/usr/local. The Debian
# package and the relocatable tar.gz land in $(BUILD).
PREFIX ?= /usr/local
.PHONY: install package

install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --strip

package: build
	cd $(BUILD) && cpack

# Each fuzz target for FUZZ_SECONDS under the address and undefined-behaviour
# sanitizers, with asserts on, one after the other, starting from its stored
# corpus; new inputs go to $(BUILD_FUZZ)/corpus/<target>, crashes to
# $(BUILD_FUZZ)/crashes/, the whole output to $(BUILD_FUZZ)/fuzz-<target>.log.
# Fails when any target found something. One target: make fuzz FUZZ_TARGETS=pod.
fuzz: deps
	@cmake -S . -B $(BUILD_FUZZ) -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
		-DMIVO3_FUZZ=ON -DMIVO3_BENCH=OFF -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=Fuzz \
		-DCMAKE_C_FLAGS_FUZZ="-O2 -g" -DCMAKE_CXX_FLAGS_FUZZ="-O2 -g" > /dev/null
	@cmake --build $(BUILD_FUZZ) -j $(JOBS) --target fuzz_targets
	@status=0; for t in $(FUZZ_TARGETS); do \
		$(MAKE) --no-print-directory fuzz-one FUZZ_TARGET=$$t || status=1; \
	done; exit $$status

# The longest input each target is given: a little more than the largest
# legal file of its format, or what its reader reads at most.
FUZZ_MAX_LEN_cart_block = 40000
FUZZ_MAX_LEN_cart_png = 300000
FUZZ_MAX_LEN_config = 16384
FUZZ_MAX_LEN_decompress = 20000
FUZZ_MAX_LEN_favourites = 65536
FUZZ_MAX_LEN_includes = 131072
FUZZ_MAX_LEN_pod = 200000
FUZZ_MAX_LEN_preprocess = 65536
FUZZ_MAX_LEN_text_cart = 200000
FUZZ_MAX_LEN_tokenizer = 65536

fuzz-one:
	@mkdir -p $(BUILD_FUZZ)/corpus/$(FUZZ_TARGET) $(BUILD_FUZZ)/crashes
	@UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 $(BUILD_FUZZ)/fuzz/fuzz_$(FUZZ_TARGET) \
		-max_total_time=$(FUZZ_SECONDS) -max_len=$(or $(FUZZ_MAX_LEN_$(FUZZ_TARGET)),65536) \
		-rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix=$(BUILD_FUZZ)/crashes/$(FUZZ_TARGET)- \
		$(BUILD_FUZZ)/corpus/$(FUZZ_TARGET) fuzz/corpus/$(FUZZ_TARGET) > $(BUILD_FUZZ)/fuzz-$(FUZZ_TARGET).log 2>&1; \
	rc=$$?; \
	printf '%-11s %s\n' $(FUZZ_TARGET) "$$(grep -E '^#[0-9]+' $(BUILD_FUZZ)/fuzz-$(FUZZ_TARGET).log | tail -n 1)"; \
	if [ $$rc -ne 0 ]; then \
		grep -E '^==[0-9]+==ERROR|^SUMMARY|runtime error|^artifact_prefix|Test unit written' $(BUILD_FUZZ)/fuzz-$(FUZZ_TARGET).log; \
		echo "$(FUZZ_TARGET) failed: see $(BUILD_FUZZ)/fuzz-$(FUZZ_TARGET).log"; \
		exit 1; \
	fi

clean:
	rm -rf $(BUILD)
