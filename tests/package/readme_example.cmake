# The README's C++ example is examples/typical_test/main.cpp, letter for letter, so that
# the example a reader copies is the one CI builds and runs.
file(READ ${SOURCE_DIR}/README.md readme)
file(READ ${SOURCE_DIR}/examples/typical_test/main.cpp example)
string(FIND "${readme}" "```cpp\n${example}```" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README.md does not show examples/typical_test/main.cpp as its C++ example")
endif()

# And its CTest example is examples/ctest_consumer's, from enable_testing() on.
file(READ ${SOURCE_DIR}/examples/ctest_consumer/CMakeLists.txt example)
string(FIND "${example}" "enable_testing()" from)
string(SUBSTRING "${example}" ${from} -1 example)
string(FIND "${readme}" "```cmake\n${example}```" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README.md does not show examples/ctest_consumer/CMakeLists.txt as its CTest example")
endif()
