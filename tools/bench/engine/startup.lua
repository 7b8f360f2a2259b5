io.write("x")
