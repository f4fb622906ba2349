# Native build: the product sources against the simulated Win32 subset, for tests.
option(VORSIL_SANITIZE "Build everything with AddressSanitizer and UBSan" OFF)
if(VORSIL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

add_subdirectory(winsim)

add_library(vorsil_product STATIC ${PRODUCT_SOURCES})
# The simulation's windows.h comes first, so the product sees only what it simulates.
target_include_directories(vorsil_product BEFORE PUBLIC winsim/include)
target_include_directories(vorsil_product PUBLIC src src/ui src/launcher src/log src/removal)
target_compile_options(vorsil_product PRIVATE ${PRODUCT_FLAGS})
target_link_libraries(vorsil_product PUBLIC winsim)

enable_testing()
add_subdirectory(tests)
