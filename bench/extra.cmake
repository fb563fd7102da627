# Extra libraries of single benchmark programs.
if(TARGET bench_fft_vs_fftw)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)
  target_link_libraries(bench_fft_vs_fftw PRIVATE PkgConfig::FFTW3F)
endif()
# bench_monitors runs the built parlune-measure as a process.
if(TARGET bench_monitors AND TARGET parlune-measure)
  target_compile_definitions(bench_monitors PRIVATE PARLUNE_MEASURE_BIN="$<TARGET_FILE:parlune-measure>")
  add_dependencies(bench_monitors parlune-measure)
endif()
# bench_monitors scrapes the metrics endpoint.
if(TARGET bench_monitors)
  find_package(Qt6 REQUIRED COMPONENTS Network)
  target_link_libraries(bench_monitors PRIVATE Qt6::Network)
endif()
# bench_iq_recording runs the built parlune-measure on a cu8 recording.
if(TARGET bench_iq_recording AND TARGET parlune-measure)
  target_compile_definitions(bench_iq_recording PRIVATE PARLUNE_MEASURE_BIN="$<TARGET_FILE:parlune-measure>")
  add_dependencies(bench_iq_recording parlune-measure)
endif()
