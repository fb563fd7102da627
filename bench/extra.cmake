# Extra libraries of single benchmark programs.
if(TARGET bench_fft_vs_fftw)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(FFTW3F REQUIRED IMPORTED_TARGET fftw3f)
  target_link_libraries(bench_fft_vs_fftw PRIVATE PkgConfig::FFTW3F)
endif()
