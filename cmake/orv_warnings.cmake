# Compiler settings shared by every target of the project.

add_compile_options(-Wall -Wextra -Wno-unused-parameter)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options(-Wshadow=local)
endif()
# Results must not depend on whether the compiler fuses a multiply and an add.
add_compile_options(-ffp-contract=off)

if(CMAKE_BUILD_TYPE STREQUAL "Debug")
    # Sanitized debug builds still decode and analyse whole songs in the tests.
    add_compile_options(-O1)
endif()

if(ORV_SANITIZE)
    list(JOIN ORV_SANITIZE "," _orv_san)
    add_compile_options(-fsanitize=${_orv_san} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${_orv_san})
    if("undefined" IN_LIST ORV_SANITIZE OR "address" IN_LIST ORV_SANITIZE)
        add_compile_options(-fno-sanitize-recover=all)
    endif()
    add_compile_definitions(ORV_SANITIZED=1)
endif()

if(ORV_FUZZ)
    # The libraries a fuzz target links are instrumented too, so the fuzzer sees their coverage.
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
