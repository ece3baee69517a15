# The layers: every include of ours names its header from the repository
# root and goes down the layers only (scripts/includes, README
# "Architecture").
add_test(NAME layers/includes COMMAND /usr/bin/python3 ${CMAKE_SOURCE_DIR}/scripts/includes check)
set_tests_properties(layers/includes PROPERTIES TIMEOUT 60)
