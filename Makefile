# Entry points for people and CI. Every target installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

FUZZ_SECONDS ?= 60

.PHONY: setup configure build test check tsan fuzz demo bench install clean

setup:
	@./scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
check: setup
	@cmake -S . -B $(BUILD)-check -G Ninja -DTESSARO_SANITIZE=ON -DTESSARO_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-check -j $(JOBS)
	@cd $(BUILD)-check && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp ctest --output-on-failure -j $(JOBS)

# The editor window opened and closed beside a processing thread, under
# ThreadSanitizer: the window must never race the audio.
tsan: setup
	@cmake -S . -B $(BUILD)-tsan -G Ninja -DTESSARO_TSAN=ON -DTESSARO_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-tsan -j $(JOBS) --target Tessaro_v2 x11_tests
	@cd $(BUILD)-tsan && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure -j $(JOBS) -R '^EditorWindow\.'

# The chunk reader under libFuzzer for FUZZ_SECONDS; findings land in fuzz-findings/.
fuzz: setup
	@cmake -S . -B $(BUILD)-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DTESSARO_FUZZ=ON -DTESSARO_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS) --target chunk_fuzzer
	@mkdir -p $(BUILD)-fuzz/corpus fuzz-findings
	@$(BUILD)-fuzz/fuzz/chunk_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -artifact_prefix=fuzz-findings/ \
	  $(BUILD)-fuzz/corpus fuzz/seeds

demo: build
	@$(BUILD)/tessaro demo demo-out.wav

bench: build
	@for b in $(BUILD)/bench/*_bench; do "$$b" || exit 1; done

install: build
	@mkdir -p $(HOME)/.vst
	@cp $(BUILD)/Tessaro_v2.so $(HOME)/.vst/
	@cp resources/Ubuntu-Font-Licence.txt $(HOME)/.vst/Tessaro_v2-Ubuntu-Font-Licence.txt
	@cp LICENSE $(HOME)/.vst/Tessaro_v2-LICENSE.txt
	@cp THIRD-PARTY-NOTICES.md $(HOME)/.vst/Tessaro_v2-THIRD-PARTY-NOTICES.md
	@echo "installed $(HOME)/.vst/Tessaro_v2.so"

clean:
	@rm -rf $(BUILD) $(BUILD)-check $(BUILD)-tsan $(BUILD)-fuzz
