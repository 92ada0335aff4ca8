# tidy: clang-tidy with the repository's .clang-tidy over the program's own sources (the tests,
# benchmarks and fuzzers are left out), from this build's compile_commands.json; a finding fails
# the target. The program is built first, so that the generated headers exist.
#   cmake --build build --target tidy
find_program(VISTREL_RUN_CLANG_TIDY NAMES run-clang-tidy run-clang-tidy.py)
find_program(VISTREL_CLANG_TIDY NAMES clang-tidy)
if(VISTREL_RUN_CLANG_TIDY AND VISTREL_CLANG_TIDY)
    add_custom_target(tidy
        COMMAND ${VISTREL_RUN_CLANG_TIDY} -quiet -j 2 -p ${PROJECT_BINARY_DIR}
                -clang-tidy-binary ${VISTREL_CLANG_TIDY}
                "^${PROJECT_SOURCE_DIR}/(app|discovery|history|platform|player|selection|tools)/.*\\.cpp"
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        USES_TERMINAL VERBATIM
        COMMENT "clang-tidy over the program's sources")
    add_dependencies(tidy vistrel vistrel_player vistrel_layout tevora_standin player_demo)
else()
    add_custom_target(tidy
        COMMAND ${CMAKE_COMMAND} -E echo "tidy: run-clang-tidy or clang-tidy not found"
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()
