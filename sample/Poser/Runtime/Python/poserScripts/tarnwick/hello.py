print("hello from the tarnwick sample")
