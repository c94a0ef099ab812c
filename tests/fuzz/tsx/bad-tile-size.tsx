<tileset tilewidth="8" tileheight="4"><image source="tiles.png"/></tileset>
