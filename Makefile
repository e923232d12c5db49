# Entry points for people and CI. Every target installs what it needs first.
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS ?=

.PHONY: setup configure build test demo bench install clean

setup:
	@./scripts/setup

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: build
	@$(BUILD)/tessaro info $(BUILD)/Tessaro_v2.so

bench: build
	@for b in $(BUILD)/bench/*_bench; do "$$b" || exit 1; done

install: build
	@mkdir -p $(HOME)/.vst
	@cp $(BUILD)/Tessaro_v2.so $(HOME)/.vst/
	@echo "installed $(HOME)/.vst/Tessaro_v2.so"

clean:
	@rm -rf $(BUILD)
