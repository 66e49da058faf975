# Every target of the project links this interface library, so warnings and
# sanitizers are set in one place.
add_library(porthold_compiler_options INTERFACE)
target_compile_options(porthold_compiler_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
if(PORTHOLD_WERROR)
    target_compile_options(porthold_compiler_options INTERFACE -Werror)
endif()
if(PORTHOLD_SANITIZE)
    target_compile_options(porthold_compiler_options INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(porthold_compiler_options INTERFACE -fsanitize=address,undefined)
endif()
if(PORTHOLD_TSAN)
    target_compile_options(porthold_compiler_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(porthold_compiler_options INTERFACE -fsanitize=thread)
endif()

# porthold_add_library(name SOURCES ... DEPENDS ...) creates a static library whose
# headers are included as "folder/header.h" relative to src/.
function(porthold_add_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE porthold_compiler_options)
endfunction()
