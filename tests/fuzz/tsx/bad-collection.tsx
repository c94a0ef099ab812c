<tileset tilewidth="4" tileheight="4" tilecount="1"><tile id="0"><image source="tiles.png"/></tile></tileset>
