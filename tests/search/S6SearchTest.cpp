// placeholder until the window test is written
