// placeholder until the layer lands
