# Profile feedback for the release programs (QVEK_PROFILE_FEEDBACK, GCC only):
# an instrumented qvek is built in a build of its own, assembles the training
# sources, and the library and qvek are then compiled with what it counted.
# Included by the top-level CMakeLists.txt once libqvek and qvek exist.

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    message(FATAL_ERROR "QVEK_PROFILE_FEEDBACK needs g++: its profiles are GCC's own")
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
include(ExternalProject)

set(qvek_profile_dir ${PROJECT_BINARY_DIR}/profile)
set(qvek_training_dir ${PROJECT_BINARY_DIR}/training)
set(qvek_profile_stamp ${qvek_profile_dir}/trained.stamp)

# Each build names its profile files by its objects' paths below its own
# folder, so that the two builds' files meet under the same names.
ExternalProject_Add(qvek_instrumented
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${qvek_training_dir}/build
    CMAKE_ARGS
        -DCMAKE_BUILD_TYPE=Release
        -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
        -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=${CMAKE_INTERPROCEDURAL_OPTIMIZATION}
        -DQVEK_BUILD_TESTS=OFF
        -DQVEK_PROFILE_FEEDBACK=OFF
        "-DCMAKE_CXX_FLAGS=-fprofile-generate=${qvek_profile_dir} -fprofile-update=single -fprofile-prefix-path=${qvek_training_dir}/build"
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target qvek
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON)

# The training: both load-file layouts of the example, and the benchmark's two
# kinds of source at a small scale. Counts start afresh with each training.
add_custom_command(
    OUTPUT ${qvek_profile_stamp}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${qvek_profile_dir} ${qvek_training_dir}/sources
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/bench/generate.py --scale 0.3 tables
            ${qvek_training_dir}/sources/tables
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/bench/generate.py --scale 0.02 long
            ${qvek_training_dir}/sources/long
    COMMAND ${CMAKE_COMMAND} -DQVEK=${qvek_training_dir}/build/qvek -DEXAMPLE=${PROJECT_SOURCE_DIR}/examples
            -DSOURCES=${qvek_training_dir}/sources -DPROFILE=${qvek_profile_dir}
            -P ${PROJECT_SOURCE_DIR}/cmake/train_profile.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${qvek_profile_stamp}
    DEPENDS qvek_instrumented ${qvek_training_dir}/build/qvek
            ${PROJECT_SOURCE_DIR}/cmake/train_profile.cmake ${PROJECT_SOURCE_DIR}/bench/generate.py
    COMMENT "Training qvek for profile feedback"
    VERBATIM)
add_custom_target(qvek_training DEPENDS ${qvek_profile_stamp})

# Code the training never ran is optimised as without a profile, not for size.
# A changed source trains again before it is compiled; were a profile ever
# stale all the same, its functions would be compiled without it, with a warning.
set(qvek_profile_use -fprofile-use=${qvek_profile_dir} -fprofile-prefix-path=${PROJECT_BINARY_DIR}
    -fprofile-partial-training -Wno-missing-profile -Wno-error=coverage-mismatch)
foreach(target libqvek qvek)
    add_dependencies(${target} qvek_training)
    target_compile_options(${target} PRIVATE ${qvek_profile_use})
    target_link_options(${target} PRIVATE ${qvek_profile_use})
    get_target_property(sources ${target} SOURCES)
    set_property(SOURCE ${sources} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS ${qvek_profile_stamp})
endforeach()
