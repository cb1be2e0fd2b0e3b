# Every target built with AddressSanitizer and UndefinedBehaviorSanitizer; any report ends the
# process. With clang, the code is also instrumented for coverage so the fuzz targets can link it.

add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    add_compile_options(-fsanitize=fuzzer-no-link)
    set(VEILMOX_FUZZ ON)
else()
    set(VEILMOX_FUZZ OFF)
    message(STATUS "The fuzz targets need clang; building without them")
endif()
