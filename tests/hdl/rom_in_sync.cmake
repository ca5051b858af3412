# Regenerates the CORDIC ROM package and compares it with the committed one.
execute_process(COMMAND /usr/bin/python3 ${SOURCE}/hdl/rtl/gen_cordic_rom.py ${SOURCE}/cordic/cordic_tables_data.cpp
                        ${OUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gen_cordic_rom.py failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT} ${SOURCE}/hdl/rtl/zel_cordic_rom_pkg.sv RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "hdl/rtl/zel_cordic_rom_pkg.sv differs from the model's tables; regenerate it with "
                      "hdl/rtl/gen_cordic_rom.py cordic/cordic_tables_data.cpp hdl/rtl/zel_cordic_rom_pkg.sv")
endif()
