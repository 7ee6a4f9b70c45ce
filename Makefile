# The two commands of the README: `make run` and `make test`. Each installs what is missing.
.PHONY: build run test bench dist clean
export ARGS

build:
	bash tools/build.sh

# ARGS reaches Velqueth as written: through the environment, not through the shell's words, so
# that backslashes, quotes and runs of blanks stay.
run:
	VELQUETH_COMMAND_LINE="$$ARGS" bash tools/run.sh

test:
	bash tools/test.sh

bench:
	bash tools/bench.sh

dist:
	bash tools/build.sh --dist

clean:
	rm -rf build
