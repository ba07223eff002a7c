# Thin wrapper around CMake; see README.md.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
PREFIX ?= /usr/local

.PHONY: all deps build run demo demo-cli test test-all install uninstall package sanitize fuzz bench containment clean windows test-windows

all: build

deps:
	@scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS)

run: build
	@scripts/run-tool.sh $(BUILD)/app/OrvexToolKit

demo: build
	@scripts/demo.sh $(BUILD)

# orvex: simulated phones listed, then updated at once.
demo-cli: build
	@scripts/demo-cli.sh $(BUILD)

test: build
	@scripts/run-tests.sh $(BUILD) $(JOBS)

# Every suite: Linux's, then the Windows programs' under Wine.
test-all: test test-windows

# Installs under $(PREFIX), below $(DESTDIR) when given (README, "Set-up").
# Run as root after `make`, it only brings the build up to date: configuring
# again as root would leave root's files in the user's build folder.
install:
	@test -f $(BUILD)/CMakeCache.txt || $(MAKE) build
	cmake --build $(BUILD) -j$(JOBS)
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix $(PREFIX)

# Removes what the last `make install` put in place.
uninstall:
	DESTDIR="$(DESTDIR)" cmake -DMANIFEST=$(BUILD)/install_manifest.txt -P dist/uninstall.cmake

# The Debian package, $(BUILD)/orvex-toolkit_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

# Quality gates (README, "Quality").
sanitize: deps
	scripts/sanitize.sh

fuzz: deps
	scripts/fuzz.sh

bench: build
	$(BUILD)/bench/orvex-bench --json $(BUILD)/bench.json

containment: deps
	scripts/containment.sh $(MAKE) test

# The Windows build, cross-compiled with MinGW-w64 (README, "Windows"), and
# its suites under Wine.
WINDOWS_BUILD ?= build-windows
windows:
	JOBS=$(JOBS) scripts/build-windows.sh $(WINDOWS_BUILD)

# The phone simulator stays a Linux program; the Windows suites talk to it
# on loopback.
test-windows: windows
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j$(JOBS) --target phone-sim orvex
	PHONE_SIM=$(abspath $(BUILD))/tools/phone-sim/phone-sim ORVEX_LINUX=$(abspath $(BUILD))/cli/orvex \
		scripts/test-windows.sh $(WINDOWS_BUILD) $(JOBS)

clean:
	rm -rf $(BUILD)
