# Public commands. Each one installs what is missing first, then builds what it needs.
.PHONY: demo test lint bench fuzz viewer deps build release clean

deps:
	@./scripts/install-deps.sh

demo: deps
	@./scripts/demo.sh

test: deps
	@./scripts/test.sh

lint: deps
	@./scripts/lint.sh

bench: deps
	@./scripts/bench.sh

fuzz: deps
	@./scripts/fuzz.sh

viewer: deps
	@./scripts/viewer.sh

build: deps
	cmake --preset dev && cmake --build --preset dev

release: deps
	cmake --preset release && cmake --build --preset release

clean:
	rm -rf build
