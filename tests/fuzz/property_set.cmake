# The property-set codec fuzzer (included from this folder's CMakeLists.txt).
add_executable(fuzz_property_set ${CMAKE_CURRENT_LIST_DIR}/fuzz_property_set.cpp)
target_compile_options(fuzz_property_set PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_options(fuzz_property_set PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(fuzz_property_set PRIVATE fendrik_properties)
