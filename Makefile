# The project's commands. Each installs what it needs first (Debian packages,
# as root) and can be run again at any time.
#   make test    build both configurations and run every test
#   make demo    build the deliverables and show what they do
#   make fuzz    fuzz the walker and the key checks (FUZZ_SECONDS each, default 180)
#   make bench   benchmarks: the portable core beside openssl speed, and the
#                provider under Wine (cached check, blacklist scan)
#   make screenshots  the warning dialog in English and German, as PNG files
#                in build/windows/screenshots/
#   make dist    the release package dist/Veriloom-1.1-x64/, its zip and MSI,
#                checked by scripts/check-dist.sh

FUZZ_SECONDS ?= 180

.PHONY: test demo fuzz bench screenshots dist deps clean

test: deps
	scripts/run-tests.sh

demo: deps
	scripts/demo.sh

fuzz: deps
	scripts/fuzz.sh $(FUZZ_SECONDS)

bench: deps
	scripts/bench.sh

screenshots: deps
	scripts/screenshots.sh

dist: deps
	scripts/dist.sh
	scripts/check-dist.sh

deps:
	scripts/install-deps.sh

clean:
	rm -rf build
