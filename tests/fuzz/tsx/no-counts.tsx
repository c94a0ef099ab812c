<tileset name="ext" tilewidth="4" tileheight="4" margin="0" spacing="0"><image source="tiles.png"/><tile id="1"><properties><property name="a" value="b"/></properties></tile></tileset>
