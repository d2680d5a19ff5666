# The table-service suites. They share one local table service that the "azurite" fixture
# starts for the run (a suite run on its own starts a private one).
set(KESTRUN_AZURITE_DIR ${CMAKE_BINARY_DIR}/tests/azurite)
add_test(NAME azurite_start COMMAND ${CMAKE_SOURCE_DIR}/tools/azurite start ${KESTRUN_AZURITE_DIR} --memory)
add_test(NAME azurite_stop COMMAND ${CMAKE_SOURCE_DIR}/tools/azurite stop ${KESTRUN_AZURITE_DIR})
set_tests_properties(azurite_start PROPERTIES FIXTURES_SETUP azurite TIMEOUT 60)
set_tests_properties(azurite_stop PROPERTIES FIXTURES_CLEANUP azurite TIMEOUT 60)

function(kestrun_add_table_test name)
    kestrun_add_test(${name} ${name}.cpp kestrun_cloud)
    target_compile_definitions(${name} PRIVATE KESTRUN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
        KESTRUN_AZURITE_DIR="${KESTRUN_AZURITE_DIR}")
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED azurite)
endfunction()

kestrun_add_table_test(tst_tableservice)
kestrun_add_table_test(tst_qzcloud)

if(TARGET seed-demo)
    kestrun_add_table_test(tst_seeddemo)
    target_compile_definitions(tst_seeddemo PRIVATE KESTRUN_SEED_DEMO="$<TARGET_FILE:seed-demo>")
    add_dependencies(tst_seeddemo seed-demo)
endif()
