# `make run` and `make test` do everything from a fresh Debian 12 machine:
# install missing packages, build, then run or test.
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build build-asan test test-fast run samples install uninstall package package-test clean

all: build

deps:
	@./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLIMPSES_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Every test, in the release build and again under the sanitizers.
test: build build-asan
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

test-fast: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

samples: build
	$(BUILD)/samples/glimpses-make-samples $(BUILD)/samples/documents

# With a display: the window, searching the samples and the home folder.
# Without one: the samples' thumbnails extracted into out/.
run: samples
	@if [ -n "$$DISPLAY" ]; then \
	  echo "$(BUILD)/app/glimpses --root $(BUILD)/samples/documents --root $$HOME"; \
	  $(BUILD)/app/glimpses --root $(BUILD)/samples/documents --root "$$HOME"; \
	else \
	  mkdir -p out && \
	  $(BUILD)/cli/glimpses-cli extract --out-dir out $(BUILD)/samples/documents/*; \
	fi

# Installs into $(DESTDIR)$(PREFIX) and keeps the list of what it installed
# for `make uninstall` (give it the same PREFIX and DESTDIR).
PREFIX ?= /usr/local
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	cp $(BUILD)/install_manifest.txt $(BUILD)/installed-files.txt
	@if [ -z "$(DESTDIR)" ] && command -v update-mime-database >/dev/null; then \
	  update-mime-database "$(PREFIX)/share/mime"; \
	fi

uninstall:
	./packaging/uninstall.sh $(BUILD)/installed-files.txt "$(DESTDIR)" "$(PREFIX)"

# build/glimpses_<version>_<arch>.deb; install it with apt install ./build/glimpses_*.deb
package: build
	cd $(BUILD) && cpack -G DEB

# As root: installs the package with apt, tries it and removes it again.
package-test: package
	./packaging/package_test.sh "$$(ls -t $(BUILD)/glimpses_*.deb | head -n1)"

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) out
