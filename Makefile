# The two commands of the README: `make run` and `make test`. Each installs what is missing.
.PHONY: build run test bench dist clean

build:
	bash tools/build.sh

run:
	bash tools/run.sh $(ARGS)

test:
	bash tools/test.sh

bench:
	bash tools/bench.sh

dist:
	bash tools/build.sh --dist

clean:
	rm -rf build
