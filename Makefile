# The engine built with the compiler alone, for machines without CMake (test farms such as
# OpenBench build engines this way):
#
#   make -j EXE=<name> [CXX=<compiler>]      the optimised engine, <name> in this folder
#   make                                     the same, named varnu
#   make clean
#
# It compiles what the CMake build's engine is made of, with the flags of its Release build, so
# both give the same engine and the same bench signature. The tests and benchmarks need CMake
# (see README.md).

EXE ?= varnu
CXXFLAGS ?= -O3 -DNDEBUG
# Objects go into a folder of their own per compiler, so that a second build with another CXX
# does not link the first one's objects.
OBJDIR := build-make/$(subst /,_,$(notdir $(CXX)))

# Every source of the engine: its library's folders and main; the browser build's folder is not
# part of it.
SOURCES := $(sort $(wildcard src/platform/*.cpp src/clock/*.cpp src/board/*.cpp src/eval/*.cpp \
  src/book/*.cpp src/tablebase/*.cpp src/search/*.cpp src/engine/*.cpp src/xboard/*.cpp \
  src/uci/*.cpp src/cli/*.cpp)) src/main.cpp
OBJECTS := $(SOURCES:%.cpp=$(OBJDIR)/%.o)

# Link-time optimisation with GCC, as the CMake build has it; clang would need a linker plugin.
ifeq ($(shell $(CXX) --version 2>/dev/null | grep -ci clang),0)
  LTO := -flto=auto
endif

ALL_CXXFLAGS := -std=c++20 -Wall -Wextra -pthread -Isrc $(LTO) $(CXXFLAGS)

.PHONY: all clean
all: $(EXE)

$(EXE): $(OBJECTS)
	$(CXX) $(ALL_CXXFLAGS) $(LDFLAGS) -o $@ $^

$(OBJDIR)/%.o: %.cpp
	@mkdir -p $(dir $@)
	$(CXX) $(ALL_CXXFLAGS) -MMD -MP -c -o $@ $<

clean:
	rm -rf build-make

-include $(OBJECTS:.o=.d)
