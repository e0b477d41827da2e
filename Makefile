# Public commands. Each one installs what is missing first, then builds what it needs.
.PHONY: demo test lint bench fuzz viewer deps build release clean

deps:
	@./scripts/install-deps.sh

# Each of these runs scripts/<name>.sh.
SCRIPTED := demo test lint bench fuzz viewer
$(SCRIPTED): deps
	@./scripts/$@.sh

build: deps
	cmake --preset dev && cmake --build --preset dev

release: deps
	cmake --preset release && cmake --build --preset release

clean:
	rm -rf build
