// The measurement run loop (Parlune::RunLoop) is defined here.
